#!/usr/bin/env bash
# Makes a release of the checkout's commit in dist/: first the source
# tarball, from what git holds at that commit; then every other asset, built,
# tested and packed from that tarball alone, unpacked in a fresh folder
# outside the checkout (build-assets.sh); then the records and SHA256SUMS
# (release-records.sh), and with --sign KEY, SHA256SUMS.asc, signed by gpg
# with that key. The assets carry the commit's time. Nothing of the caller's
# environment reaches the build but the time zone and locale. On any
# failure it names the asset and leaves dist/ as it was.
# Usage: tools/release.sh [--sign KEY]
#        tools/release.sh --packages   the Debian packages it needs
set -euo pipefail
cd "$(dirname "$0")/.."

# The Debian packages that a release needs beyond the essential ones: the
# README's Releasing section installs them, and the .buildinfo records them
# with all they depend on.
packages() {
  echo git cmake ninja-build g++ libgtest-dev googletest dpkg-dev file mawk \
    strip-nondeterminism g++-mingw-w64-x86-64-posix wine64 qemu-user \
    $(cmake -P cmake/architectures.cmake | awk '$5 != "-" { print "g++-" $4 }')
}
key=""
case $# in
  0) ;;
  1) [ "$1" != --packages ] || { packages; exit; } ;;
  2) [ "$1" != --sign ] || key=$2 ;;
esac
if [ $# -ne 0 ] && [ -z "$key" ]; then
  echo "usage: tools/release.sh [--sign KEY | --packages]" >&2
  exit 2
fi
if [ -z "${CALCULATOR_RELEASE_ENVIRONMENT-}" ]; then
  kept=(CALCULATOR_RELEASE_ENVIRONMENT=1 PATH=/usr/sbin:/usr/bin:/sbin:/bin)
  for name in HOME TZ LANG LC_ALL GNUPGHOME; do
    [ -z "${!name+set}" ] || kept+=("$name=${!name}")
  done
  exec env -i "${kept[@]}" bash "$0" "$@"
fi

# A release is a commit, made on the machine whose Debian package it holds.
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "release: $PWD is not a git checkout; a release is made from one" >&2
  exit 1
fi
changes=$(git status --porcelain)
if [ -n "$changes" ]; then
  echo "$changes" >&2
  echo "release: the checkout has the changes above; commit, stash or remove them first" >&2
  exit 1
fi
if [ "$(dpkg --print-architecture)" != amd64 ]; then
  echo "release: a release is built on amd64, not $(dpkg --print-architecture)," \
    "as its Debian package and its x86_64 archive are that machine's" >&2
  exit 1
fi
missing=$({ dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' $(packages) ${key:+gpg} 2>&1 ||
  true; } | awk '$1 != "ii" { print $NF }' | xargs)
if [ -n "$missing" ]; then
  echo "release: missing packages; as root: apt install $missing" >&2
  exit 1
fi

read -r version _ < <(cmake -P cmake/source.cmake)
tarball=calculator-$version.tar.gz
# The assets are gathered in a folder of their own, which becomes dist/ only
# when all is made; the tarball is made and unpacked in another.
staging=$(mktemp -d "$PWD/dist.partial.XXXXXX")
work=$(mktemp -d)
trap 'rm -rf "$staging" "$work"' EXIT

printf '== %s\n' "$tarball"
if ! { cmake -S . -B "$work/source" -G Ninja -DBUILD_TESTING=OFF >/dev/null &&
  (cd "$work/source" && cpack --config CPackSourceConfig.cmake); } ||
  [ ! -f "$work/source/$tarball" ]; then
  echo "release: cannot make $tarball" >&2
  exit 1
fi
cp "$work/source/$tarball" "$staging/"
tar -xzf "$staging/$tarball" -C "$work"
bash "$work/calculator-$version/tools/build-assets.sh" "$staging"

if [ -n "$key" ]; then
  gpg --batch --yes --local-user "$key" --armor --detach-sign \
    --output "$staging/SHA256SUMS.asc" "$staging/SHA256SUMS"
fi
chmod 755 "$staging"
rm -rf dist
mv "$staging" dist
printf '\n== release %s in dist/:\n' "$version"
cat dist/SHA256SUMS
