#!/usr/bin/env bash
# Makes a release of the checkout's commit in dist/, from that commit alone;
# doc/releasing.md says when to run it, what it refuses, and what it makes.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
fail() { echo "release: $*" >&2; exit 1; }
usage="usage: tools/release.sh [--development] [--chroot TARBALL | --keep-chroot]"
development="" chroot="" keep=""
while [ $# -gt 0 ]; do
  case $1 in
    --development) development=yes; shift ;;
    --keep-chroot) keep=yes; shift ;;
    --chroot)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      chroot=$(realpath -- "$2")
      shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
[ -z "$chroot" ] || [ -z "$keep" ] || { echo "$usage" >&2; exit 2; }
cd "$(dirname "$0")/.."
needs $(packages releasing)
[ "$(dpkg --print-architecture)" = amd64 ] ||
  fail "a release is built on amd64, as its Debian package and x86_64 archive are that machine's"
git_alone rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
  fail "$PWD is not a git checkout; a release is made from one"
changes=$(git_alone status --porcelain)
[ -z "$changes" ] || { echo "$changes" >&2
  fail "the checkout has the changes above; commit, stash or remove them first"; }
refuse_archive_settings
commit=$(git_alone rev-parse HEAD)
name=$(release_name_of "$commit")
if [[ $name == *~dev* ]] && [ -z "$development" ]; then
  fail "$commit is not a release's commit: a release X.Y.Z is made from the commit titled" \
    "'Release X.Y.Z', and this one is titled '$(printable "$(git_alone log -1 --format=%s)")'." \
    "--development makes a release of it named $name"
fi
bash tools/contain.sh --probe || exit 1
# Gathered in a folder of its own, which becomes dist/ only when all is made.
work=$(mktemp -d "${TMPDIR:-/var/tmp}/calculator-release.XXXXXX")
staging=$(mktemp -d "$PWD/dist.partial.XXXXXX")
trap 'rm -rf "$work" "$staging"' EXIT
git_alone -c tar.umask=0022 archive --format=tar --prefix="calculator-$name/" \
  --output="$work/source.tar" "$commit"
if [ -z "$chroot" ]; then
  read -r _ suite < <(facts debian)
  packages=$(packages chroot) cross=$(facts arch | awk '$5 != "-" { print "g++-" $4 }' | xargs)
  echo "== the chroot: Debian $suite with $packages $cross, and what they depend on"
  chroot=$work/chroot.tar
  attend bash tools/make-chroot.sh "$suite" "$chroot" $packages $cross
fi
echo "== building calculator $name in the chroot, from $commit alone"
bash tools/contain.sh build "$chroot" "$work/source.tar" "$staging/dist" "$work/build.log" &
child=$!
tail -n +1 -F -s 1 --pid="$child" "$work/build.log" 2>/dev/null |
  grep --line-buffered '^== ' || true  # the lines that name each asset
wait "$child" || { excerpt "$work/build.log" >&2; fail "the build failed; dist/ is as it was"; }
child=""
if [ -n "$keep" ]; then
  mkdir -p "$chroots"
  mv "$chroot" "$chroots/$(chroot_key "$suite" amd64 $(chroot_packages "$chroot" "$work")).tar"
  echo "== the chroot is kept in $chroots, where the verify command finds it"
fi
chmod 755 "$staging/dist"
rm -rf dist && mv "$staging/dist" dist || fail "cannot replace dist/"
printf '\n== release %s in dist/:\n' "$name"
cat dist/SHA256SUMS
