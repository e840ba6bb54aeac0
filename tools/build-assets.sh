#!/usr/bin/env bash
# Makes a release's assets in OUT from the source tree it is in, which
# tools/build-in-chroot.sh unpacks in the release's chroot from git
# archive's output or from a release's source tarball. First the source
# tarball, packed from this tree; then, from that tarball alone, unpacked in
# a fresh folder, the Debian package, the Windows zip and the portable
# archive of each architecture in cmake/architectures.cmake, each built,
# tested and packed by its workflow preset; then the records
# (release-records.sh).
# Usage: tools/build-assets.sh OUT
set -euo pipefail
out=$(realpath "${1:?usage: tools/build-assets.sh OUT}")
cd "$(dirname "$0")/.."
read -r version _ < <(cmake -P cmake/source.cmake)
tarball=calculator-$version.tar.gz

# Wine's prefix and its server's folder, which outlives the server.
work=$(mktemp -d)
export WINEPREFIX=$work/wine TMPDIR=$work
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true; rm -rf "$work"' EXIT

# Runs the command that makes an asset, then copies its FILE into OUT and
# notes its build folder for the records; stops naming the asset. The command
# runs where errors do not stop the script.
make_asset() {
  local file=$1
  shift
  printf '\n== %s\n' "${file##*/}"
  if ! "$@" || [ ! -f "$file" ]; then
    echo "build-assets: cannot make ${file##*/}" >&2
    exit 1
  fi
  cp "$file" "$out/"
  echo "${file##*/} ${file%/*}" >>"$work/builds"
}
printf '== %s\n' "$tarball"
if ! { cmake -S . -B "$work/source" -G Ninja -DBUILD_TESTING=OFF >/dev/null &&
  (cd "$work/source" && cpack --config CPackSourceConfig.cmake); } ||
  [ ! -f "$work/source/$tarball" ]; then
  echo "build-assets: cannot make $tarball" >&2
  exit 1
fi
cp "$work/source/$tarball" "$out/"
tar -xzf "$out/$tarball" -C "$work"
cd "$work/calculator-$version"
make_asset "$PWD/build-package/calculator_$version-1_amd64.deb" cmake --workflow --preset package
make_asset "$PWD/build-mingw/calculator-$version-win64.zip" cmake --workflow --preset windows-zip
mapfile -t architectures < <(cmake -P cmake/architectures.cmake)
for row in "${architectures[@]}"; do
  read -r arch machine _ <<<"$row"
  make_asset "$PWD/build-portable-$arch/calculator-$version-linux-$machine.tar.gz" \
    env CALCULATOR_ARCH="$arch" cmake --workflow --preset portable
done

bash tools/release-records.sh "$out" "$work/builds"
