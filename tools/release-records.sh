#!/usr/bin/env bash
# Writes the records of a release into OUT, which holds its assets already:
#   calculator_VERSION_ARCH.buildinfo  the source, the machine, the Debian
#       release and SOURCE_DATE_EPOCH; the checksum of each asset; and every
#       package whose files the build used, at its version: all that the
#       release's packages (release.sh --packages) and the essential ones
#       depend on, as dpkg knows it;
#   calculator-VERSION.cdx.json  a CycloneDX SBOM: each asset with its
#       checksum, and the libraries linked into each binary one, each with
#       the Debian package it came from, its version and its license, read
#       from the linker's map of the program;
#   SHA256SUMS  the checksum of every file.
# Nothing in them differs between two builders with the same packages.
# Usage: tools/release-records.sh OUT BUILDS, where each line of the file
# BUILDS holds a binary asset's name and the build folder that made it.
set -euo pipefail
out=$1 builds=$2
cd "$(dirname "$0")/.."
read -r version commit epoch < <(cmake -P cmake/source.cmake)
arch=$(dpkg --print-architecture)
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
distro=debian-$(. /etc/os-release && echo "$VERSION_ID")
buildinfo=calculator_${version}_$arch.buildinfo
sbom=calculator-$version.cdx.json

# The release's packages, as "PACKAGE (= VERSION)", one a line in C order.
installed_build_depends() {
  dpkg-query -W -f '${db:Status-Abbrev}\t${Package}\t${Version}\t${Architecture}\t${Essential}\t${Pre-Depends}, ${Depends}\t${Provides}\n' |
    awk -F '\t' -v arch="$arch" -v roots="$(bash tools/release.sh --packages)" '
      $1 != "ii " || ($4 != arch && $4 != "all") { next }
      {
        version[$2] = $3; depends[$2] = $6
        if ($5 == "yes") wanted[++count] = $2
        n = split($7, provided, /, */)
        for (i = 1; i <= n; i++) {
          sub(/ .*/, "", provided[i])
          if (!(provided[i] in provider)) provider[provided[i]] = $2
        }
      }
      # The installed package that a name stands for: itself, or its provider.
      function installed(name) {
        sub(/^ +/, "", name); sub(/[ (:].*/, "", name)
        return (name in version) ? name : (name in provider) ? provider[name] : ""
      }
      END {
        n = split(roots, root, / /)
        for (i = 1; i <= n; i++) {
          if (root[i] == "") continue
          if (installed(root[i]) == "") { print "not installed: " root[i] > "/dev/stderr"; failed = 1 }
          wanted[++count] = root[i]
        }
        for (w = 1; w <= count; w++) {
          package = installed(wanted[w])
          if (package == "" || package in used) continue
          used[package] = 1
          groups = split(depends[package], group, /, */)
          for (g = 1; g <= groups; g++) {
            alternatives = split(group[g], alternative, /[|]/)
            for (a = 1; a <= alternatives; a++)
              if (installed(alternative[a]) != "") { wanted[++count] = alternative[a]; break }
          }
        }
        for (package in used) print package " (= " version[package] ")" | "LC_ALL=C sort"
        exit failed
      }'
}

# The libraries linked into the program of a build folder, from its linker's
# map, as "LIBRARY PACKAGE", one a line: each archive of which the linker took
# members, and each object it loaded from outside the build.
linked_libraries() {
  local line package path
  dpkg-query -S $(awk '/^Archive member included/ { members = 1; next }
    /^[A-Z]/ { members = 0 }
    members && /^\// { sub(/[(].*/, ""); print }
    /^LOAD \/.*[.]o$/ { print $2 }' "$1"/calculator*.map | xargs -r realpath | LC_ALL=C sort -u) |
    while read -r line; do
      package=${line%%: *} path=${line#*: }
      package=${package%%[:,]*}
      case $package:${path##*/} in
        libc6-dev*) echo "glibc $package" ;;
        libstdc++-*-dev* | g++-mingw-w64-*) echo "libstdc++ $package" ;;
        libgcc-*-dev* | gcc-mingw-w64-*) echo "libgcc $package" ;;
        mingw-w64-*-dev:libpthread.a | mingw-w64-*-dev:libwinpthread.a) echo "winpthreads $package" ;;
        mingw-w64-*-dev:*) echo "mingw-w64-runtime $package" ;;
        *) echo "release-records: no library is known for $path ($package)" >&2; return 1 ;;
      esac
    done | LC_ALL=C sort -u
}

# A library's license as an SPDX expression.
license() {
  case $1 in
    glibc) echo LGPL-2.1-or-later ;;
    libstdc++ | libgcc) echo 'GPL-3.0-or-later WITH GCC-exception-3.1' ;;
    mingw-w64-runtime) echo ZPL-2.1 ;;
    winpthreads) echo 'MIT AND BSD-3-Clause' ;;
  esac
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
assets=$(cd "$out" && LC_ALL=C ls)

{
  echo "Format: 1.0"
  echo "Source: calculator"
  echo "Binary: calculator"
  echo "Architecture: $arch source"
  echo "Version: $version"
  echo "Source-Commit: $commit"
  echo "Checksums-Sha256:"
  for asset in $assets; do
    echo " $(sha256sum <"$out/$asset" | cut -d ' ' -f 1) $(stat -c %s "$out/$asset") $asset"
  done
  echo "Build-Origin: Debian"
  echo "Build-Architecture: $arch"
  echo "Build-Debian-Release: $suite"
  echo "Installed-Build-Depends:"
  installed_build_depends | sed 's/^/ /; $!s/$/,/'
  echo "Environment:"
  echo " SOURCE_DATE_EPOCH=\"$epoch\""
} >"$work/buildinfo"
mv "$work/buildinfo" "$out/$buildinfo"

# The SBOM's entry of a library linked into ASSET: ASSET LIBRARY PACKAGE.
library_entry() {
  local package_version package_arch purl_version
  read -r package_version package_arch < <(dpkg-query -W -f '${Version} ${Architecture}\n' "$3")
  purl_version=${package_version//%/%25}
  purl_version=${purl_version//+/%2B}
  printf '{"type": "library", "bom-ref": "%s/%s", "name": "%s", "version": "%s",
          "description": "from the Debian package %s", "licenses": [{"expression": "%s"}],
          "purl": "pkg:deb/debian/%s@%s?arch=%s&distro=%s"}' \
    "$1" "$3" "$2" "$package_version" "$3" "$(license "$2")" \
    "$3" "${purl_version//:/%3A}" "$package_arch" "$distro"
}
# The SBOM's entry of an asset, with the libraries linked into it, which
# $work/ASSET lists.
asset_entry() {
  local library package separator=""
  printf '{"type": "file", "bom-ref": "%s", "name": "%s",
      "hashes": [{"alg": "SHA-256", "content": "%s"}]' \
    "$1" "$1" "$(sha256sum <"$out/$1" | cut -d ' ' -f 1)"
  if [ -s "$work/$1" ]; then
    printf ',\n      "components": ['
    while read -r library package; do
      printf '%s\n        %s' "$separator" "$(library_entry "$1" "$library" "$package")"
      separator=,
    done <"$work/$1"
    printf ']'
  fi
  printf '}'
}
while read -r asset folder; do
  linked_libraries "$folder" >"$work/$asset"
done <"$builds"
{
  printf '{"bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
  "metadata": {"timestamp": "%s",
    "component": {"type": "application", "bom-ref": "calculator", "name": "calculator",
      "version": "%s", "licenses": [{"license": {"id": "MIT"}}]}},
  "components": [' "$(date -u -d "@$epoch" +%Y-%m-%dT%H:%M:%SZ)" "$version"
  separator=""
  for asset in $(cd "$out" && LC_ALL=C ls); do  # the .buildinfo too
    printf '%s\n    %s' "$separator" "$(asset_entry "$asset")"
    separator=,
  done
  printf ']}\n'
} >"$work/sbom"
mv "$work/sbom" "$out/$sbom"

(cd "$out" && LC_ALL=C sha256sum -- $(LC_ALL=C ls) >SHA256SUMS)
