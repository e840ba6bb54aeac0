#!/usr/bin/env bash
# Builds, tests and packs every asset of a release from the checkout's
# commit, and gathers them in dist/ with their SHA256SUMS: the source
# tarball, the Debian package, the Windows zip, and the portable archive of
# each architecture in cmake/architectures. The times in the assets are
# SOURCE_DATE_EPOCH's, or else the last commit's. On any failure it names
# the asset and leaves dist/ as it was.
# Usage: cmake/release.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# What it needs, as (command or file, Debian package).
missing=()
need() { [ -e "$1" ] || command -v "$1" >/dev/null || missing+=("$1 (Debian package $2)"); }
need git git
need cmake cmake
need ninja ninja-build
need g++ g++
need /usr/include/gtest/gtest.h libgtest-dev
need /usr/src/googletest/CMakeLists.txt googletest
need dpkg-shlibdeps dpkg-dev
need file file
need strip-nondeterminism strip-nondeterminism
need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
need /usr/lib/wine/wine64 wine64
need qemu-aarch64 qemu-user
while read -r _ _ _ triplet _; do
  [ "$triplet" = - ] || need "$triplet-g++" "g++-$triplet"
done < <(grep -v '^#' cmake/architectures)
if [ ${#missing[@]} -gt 0 ]; then
  printf 'release: missing %s\n' "${missing[@]}" >&2
  exit 1
fi

# A release is a commit.
if ! git diff --quiet HEAD --; then
  echo "release: the checkout has uncommitted changes; commit or stash them first" >&2
  exit 1
fi
: "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct)}"
export SOURCE_DATE_EPOCH
version=$(sed -n 's/^  VERSION //p' CMakeLists.txt)

# Gathered in a folder of its own, which becomes dist/ only when all is made;
# and a temporary folder for Wine's server, whose folder outlives it.
staging=$(mktemp -d "$PWD/dist.partial.XXXXXX")
wine_tmp=$(mktemp -d)
trap 'rm -rf "$staging" "$wine_tmp"' EXIT

# Runs the command that makes an asset, then copies the asset's file (a path
# relative to the checkout) into the staging folder; stops naming the asset.
# The command runs where errors do not stop the script, so it chains its own.
make_asset() {
  local asset=$1 file=$2
  shift 2
  printf '\n== release: %s\n' "$asset"
  rm -f "$file"
  if ! "$@" || [ ! -f "$file" ]; then
    echo "release: cannot make $asset ($file)" >&2
    exit 1
  fi
  cp "$file" "$staging/"
}

package() {
  rm -f "build-package/calculator-$version.tar.gz" && cmake --workflow --preset package
}
make_asset "the Debian package and the source tarball" \
  "build-package/calculator_$version-1_$(dpkg --print-architecture).deb" package
cp "build-package/calculator-$version.tar.gz" "$staging/"

windows_zip() {
  TMPDIR=$wine_tmp cmake --workflow --preset mingw &&
    # The Wine server that the tests leave running.
    { TMPDIR=$wine_tmp /usr/lib/wine/wineserver64 -k || echo "no Wine server was left running"; } &&
    (cd build-mingw && cpack -G ZIP)
}
make_asset "the Windows zip" "build-mingw/calculator-$version-win64.zip" windows_zip

while read -r arch _ machine _; do
  make_asset "the portable archive for $arch" \
    "build-portable-$arch/calculator-$version-linux-$machine.tar.gz" cmake/portable.sh "$arch"
done < <(grep -v '^#' cmake/architectures)

(cd "$staging" && LC_ALL=C sha256sum -- $(LC_ALL=C ls) >SHA256SUMS)
chmod 755 "$staging"
rm -rf dist
mv "$staging" dist
printf '\n== release %s in dist/:\n' "$version"
cat dist/SHA256SUMS
