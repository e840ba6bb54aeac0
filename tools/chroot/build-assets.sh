#!/usr/bin/env bash
# Makes a release in OUT, in its chroot: the source tarball, every other asset from it
# alone by its workflow preset, then the records (doc/releasing.md).
set -euo pipefail
out=$(realpath "${1:?usage: tools/chroot/build-assets.sh OUT}")
cd "$(dirname "$0")/../.."
. tools/lib.sh
read -r name commit epoch < <(cmake -P cmake/source.cmake)
# Wine's prefix, and its server's folder, which outlives the server.
work=$(mktemp -d)
export WINEPREFIX=$work/wine TMPDIR=$work
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true; rm -rf "$work"' EXIT
make_asset() {  # FILE FOLDER COMMAND..., its folder noted for the records
  local file=$1 folder=$2
  shift 2
  printf '\n== %s\n' "$file"
  "$@" && [ -f "$folder/$file" ] || { echo "build-assets: cannot make $file" >&2; exit 1; }
  cp "$folder/$file" "$out/"
  echo "$file $folder" >>"$work/builds"
}
tarball=$(asset_name source "$name")
make_asset "$tarball" "$PWD/build-package" cmake --workflow --preset source
tar -xzf "$out/$tarball" -C "$work"
cd "$work/calculator-$name"
make_asset "$(asset_name package "$name")" "$PWD/build-package" cmake --workflow --preset package
make_asset "$(asset_name windows "$name")" "$PWD/build-mingw" cmake --workflow --preset windows-zip
facts arch | while read -r arch machine _; do
  make_asset "$(asset_name portable "$name" "$machine")" "$PWD/build-portable-$arch" \
    env CALCULATOR_ARCH="$arch" cmake --workflow --preset portable
done
bash tools/chroot/records.sh "$out" "$work/builds" "$name" "$commit" "$epoch"
