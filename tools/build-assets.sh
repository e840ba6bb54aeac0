#!/usr/bin/env bash
# Builds, tests and packs the binary assets of a release from the source tree
# it is in, an unpacked source tarball, into OUT, where that tarball is
# already: the Debian package, the Windows zip, and the portable archive of
# each architecture in cmake/architectures.cmake, each by its workflow
# preset; then writes the release's records there (release-records.sh). The
# release command runs it, and so does the rebuild that checks a release,
# each in a clean environment, so that no compiler or flag variable reaches
# the build.
# Usage: tools/build-assets.sh OUT
set -euo pipefail
out=$(realpath "${1:?usage: tools/build-assets.sh OUT}")
cd "$(dirname "$0")/.."
read -r version _ < <(cmake -P cmake/source.cmake)
[ -f "$out/calculator-$version.tar.gz" ] ||
  { echo "build-assets: $out lacks the source tarball calculator-$version.tar.gz" >&2; exit 1; }

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
  printf '\n== %s\n' "${file#*/}"
  if ! "$@" || [ ! -f "$file" ]; then
    echo "build-assets: cannot make ${file#*/}" >&2
    exit 1
  fi
  cp "$file" "$out/"
  echo "${file#*/} ${file%%/*}" >>"$work/builds"
}
make_asset "build-package/calculator_$version-1_amd64.deb" cmake --workflow --preset package
make_asset "build-mingw/calculator-$version-win64.zip" cmake --workflow --preset windows-zip
mapfile -t architectures < <(cmake -P cmake/architectures.cmake)
for row in "${architectures[@]}"; do
  read -r arch machine _ <<<"$row"
  make_asset "build-portable-$arch/calculator-$version-linux-$machine.tar.gz" \
    env CALCULATOR_ARCH="$arch" cmake --workflow --preset portable
done

bash tools/release-records.sh "$out" "$work/builds"
