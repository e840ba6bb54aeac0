#!/usr/bin/env bash
# Makes a release of the checkout's commit in dist/, by the procedure that
# anyone can follow to check it (tools/verify-release.sh), so that only the
# commit reaches it:
#   - git archive of the commit is the release's source, written by git
#     without the user's and the system's settings; settings of the clone
#     that would change it refuse the release, named;
#   - the release is built from it in a minimal Debian chroot that holds
#     only the packages below (tools/make-chroot.sh), by
#     tools/build-in-chroot.sh, which nothing of the caller's machine or
#     environment reaches: first the source tarball, then every other asset
#     from that tarball alone, then the records;
#   - SHA256SUMS of what the build made, and with --sign KEY, its signature
#     SHA256SUMS.asc, by gpg with that key.
# A release X.Y.Z is made from the commit titled "Release X.Y.Z" alone;
# --development makes one of any other commit, under the name that says
# which it is (see cmake/source.cmake). --chroot TARBALL builds in a chroot
# made before, by tools/make-chroot.sh or another tool, instead of making
# one. On any failure dist/ stays as it was.
# Usage: tools/release.sh [--development] [--chroot TARBALL] [--sign KEY]
#        tools/release.sh --packages   the packages that the chroot holds
#        tools/release.sh --make-chroot TARBALL   makes only the chroot
set -euo pipefail
. "$(dirname "$0")/lib.sh"

# The Debian release a release is built on, and the packages its chroot
# holds beyond the essential ones: the .buildinfo names them all, at their
# versions.
suite=bookworm
packages() {
  echo cmake ninja-build g++ libgtest-dev googletest dpkg-dev file jq strip-nondeterminism \
    g++-mingw-w64-x86-64-posix wine64 qemu-user \
    $(cmake -P cmake/architectures.cmake | awk '$5 != "-" { print "g++-" $4 }')
}
usage="usage: tools/release.sh [--development] [--chroot TARBALL] [--sign KEY]
       tools/release.sh --packages | --make-chroot TARBALL"
development="" chroot="" key="" only=""
while [ $# -gt 0 ]; do
  case $1 in
    --packages) [ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }; only=packages; shift ;;
    --development) development=yes; shift ;;
    --chroot | --sign | --make-chroot)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      case $1 in
        --chroot) chroot=$(realpath -- "$2") ;;
        --sign) key=$2 ;;
        --make-chroot) [ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }; only=$(realpath -m -- "$2") ;;
      esac
      shift 2
      ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
cd "$(dirname "$0")/.."
case $only in
  packages) packages; exit ;;
  ?*) exec bash tools/make-chroot.sh "$suite" "$only" $(packages) ;;
esac
fail() {
  echo "release: $*" >&2
  exit 1
}

needs=(git:git cmake:cmake newuidmap:uidmap)
[ -n "$chroot" ] || needs+=(mmdebstrap:mmdebstrap)
[ -z "$key" ] || needs+=(gpg:gpg)
for pair in "${needs[@]}"; do
  command -v "${pair%%:*}" >/dev/null || fail "needs ${pair%%:*} (Debian package ${pair#*:})"
done
[ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ] ||
  fail "a release is built on amd64, as its Debian package and its x86_64 archive are that machine's"

# A release is a commit, and nothing else decides what git writes of it.
git_alone rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
  fail "$PWD is not a git checkout; a release is made from one"
changes=$(git_alone status --porcelain)
if [ -n "$changes" ]; then
  echo "$changes" >&2
  fail "the checkout has the changes above; commit, stash or remove them first"
fi
refuse_archive_settings
commit=$(git_alone rev-parse HEAD)
name=$(release_name_of "$commit")
if [[ $name == *~dev* ]] && [ -z "$development" ]; then
  fail "$commit is not a release's commit: a release X.Y.Z is made from the commit titled" \
    "'Release X.Y.Z', and this one is titled '$(printable "$(git_alone log -1 --format=%s)")'." \
    "--development makes a release of it named $name"
fi

bash tools/contain.sh --probe || exit 1

# The release is gathered in a folder of its own, which becomes dist/ only
# when all is made.
work=$(mktemp -d)
staging=$(mktemp -d "$PWD/dist.partial.XXXXXX")
trap 'rm -rf "$work" "$staging"' EXIT
git_alone -c tar.umask=0022 archive --format=tar --prefix="calculator-$name/" \
  --output="$work/source.tar" "$commit"
if [ -z "$chroot" ]; then
  echo "== the chroot: Debian $suite with $(packages | wc -w) packages and what they depend on"
  chroot=$work/chroot.tar
  attend bash tools/make-chroot.sh "$suite" "$chroot" $(packages)
fi

# The build, its progress shown by the lines that name each asset.
echo "== building calculator $name in the chroot, from $commit alone"
bash tools/contain.sh build "$chroot" "$work/source.tar" "$staging/dist" "$work/build.log" &
child=$!
tail -n +1 -F -s 1 --pid="$child" "$work/build.log" 2>/dev/null | grep --line-buffered '^== ' || true
if ! wait "$child"; then
  excerpt "$work/build.log" >&2
  fail "the build failed; dist/ is as it was"
fi
child=""

write_sums "$staging/dist"
if [ -n "$key" ]; then
  gpg --batch --yes --local-user "$key" --armor --detach-sign \
    --output "$staging/dist/SHA256SUMS.asc" "$staging/dist/SHA256SUMS"
fi
chmod 755 "$staging/dist"
rm -rf dist
mv "$staging/dist" dist
printf '\n== release %s in dist/:\n' "$name"
cat dist/SHA256SUMS
