#!/usr/bin/env bash
# Writes the records of a release into OUT, which holds its assets already,
# where the release is built (tools/build-assets.sh):
#   calculator_VERSION_ARCH.buildinfo  the build record in Debian's form
#       (tools/buildinfo.pl): the commit, the machine and Debian release, the
#       checksums of the assets, and every package installed where they were
#       built, at its version;
#   calculator-VERSION.cdx.json  a CycloneDX SBOM, written by jq: each asset
#       with its checksum; in each program, the libraries linked in, read
#       from the linker's map, each named by the Debian package it came from
#       and, as scanners match advisories, its source package and version
#       (the purl's upstream qualifier); the runtime libraries that the
#       Debian package depends on; and a graph of which asset needs which.
# Nothing in them differs between two builders with the same packages.
# Usage: tools/release-records.sh OUT BUILDS, where each line of the file
# BUILDS holds a binary asset's name and the build folder that made it.
set -euo pipefail
out=$1 builds=$2
cd "$(dirname "$0")/.."
read -r version commit epoch < <(cmake -P cmake/source.cmake)
arch=$(dpkg --print-architecture)
distro=debian-$(. /etc/os-release && echo "$VERSION_ID")
buildinfo=calculator_${version}_$arch.buildinfo
sbom=calculator-$version.cdx.json
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mapfile -t assets < <(find "$out" -mindepth 1 -maxdepth 1 -type f | LC_ALL=C sort)
perl tools/buildinfo.pl write "$version" "$commit" "$epoch" "${assets[@]}" >"$work/buildinfo"
mv "$work/buildinfo" "$out/$buildinfo"

# The libraries linked into the program of a build folder, from its linker's
# map, as "LIBRARY PACKAGE HOW", one a line: each archive of which the
# linker took members (HOW: linked), and each object it loaded from outside
# the build, the C library's and the compiler's start files (HOW: start).
linked_libraries() {
  local how objects line package path
  objects=$(awk '/^Archive member included/ { members = 1; next }
    /^[A-Z]/ { members = 0 }
    members && /^\// { sub(/[(].*/, ""); print "linked", $0 }
    /^LOAD \/.*[.]o$/ { print "start", $2 }' "$1"/calculator*.map |
    while read -r how path; do echo "$how $(realpath "$path")"; done | LC_ALL=C sort -u)
  dpkg-query -S $(awk '{ print $2 }' <<<"$objects" | LC_ALL=C sort -u) |
    while read -r line; do
      package=${line%%: *} path=${line#*: }
      package=${package%%[:,]*}
      how=$(awk -v path="$path" '$2 == path { print $1 }' <<<"$objects")
      case $package:${path##*/} in
        libc6-dev*) echo "glibc $package $how" ;;
        libstdc++-*-dev* | g++-mingw-w64-*) echo "libstdc++ $package $how" ;;
        libgcc-*-dev* | gcc-mingw-w64-*) echo "libgcc $package $how" ;;
        mingw-w64-*-dev:libpthread.a | mingw-w64-*-dev:libwinpthread.a) echo "winpthreads $package $how" ;;
        mingw-w64-*-dev:*) echo "mingw-w64-runtime $package $how" ;;
        *) echo "release-records: no library is known for $path ($package)" >&2; return 1 ;;
      esac
    done |
    # A library of which only start files were linked in is named as them.
    awk '{ how[$1 " " $2] = how[$1 " " $2] == "linked" ? "linked" : $3 }
      END { for (library in how) print library, how[library] }' | LC_ALL=C sort
}

# A library's license as an SPDX expression, and the Debian source package
# its code comes from (a pattern of its name).
license() {
  case $1 in
    glibc) echo LGPL-2.1-or-later ;;
    libstdc++ | libgcc) echo 'GPL-3.0-or-later WITH GCC-exception-3.1' ;;
    mingw-w64-runtime) echo ZPL-2.1 ;;
    winpthreads) echo 'MIT AND BSD-3-Clause' ;;
  esac
}
upstream_source() {
  case $1 in
    glibc) echo 'glibc' ;;
    libstdc++ | libgcc) echo 'gcc-[0-9]+' ;;
    mingw-w64-runtime | winpthreads) echo 'mingw-w64' ;;
  esac
}

# A TSV line for each library in each binary asset: asset, kind (linked,
# start or runtime), name, Debian package, its version and architecture,
# its source package and that package's version, license. A cross or MinGW
# package is built from a source package of its own, and names the source
# of the code it holds, at its version, in Built-Using.
while read -r asset folder; do
  linked_libraries "$folder" | while read -r library package how; do
    IFS=$'\t' read -r package_version package_arch source source_version built_using < <(
      dpkg-query -W -f \
        '${Version}\t${Architecture}\t${source:Package}\t${source:Version}\t${Built-Using}\n' "$package")
    if ! [[ $source =~ ^$(upstream_source "$library")$ ]]; then
      named=$(perl -MDpkg::Deps -e '
        for my $dep (deps_parse($ARGV[0])->get_deps()) {
          print "$dep->{package} $dep->{version}\n" if $dep->{package} =~ /^$ARGV[1]$/;
        }' "$built_using" "$(upstream_source "$library")")
      [ -n "$named" ] || { echo "release-records: $package names no source of $library" >&2; exit 1; }
      read -r source source_version <<<"$named"
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$asset" "$how" "$library" "$package" \
      "$package_version" "$package_arch" "$source" "$source_version" "$(license "$library")"
  done
  # The Debian package's runtime libraries, which the system provides.
  if [[ $asset == *.deb ]]; then
    perl -MDpkg::Deps -e '
      for my $dep (deps_parse($ARGV[0])->get_deps()) {
        my $version = defined $dep->{relation} ? "$dep->{relation} $dep->{version}" : "";
        print join("\t", $ARGV[1], "runtime", $dep->{package}, $dep->{package}, $version,
          $ARGV[2], "", "", ""), "\n";
      }' "$(dpkg-deb -f "$out/$asset" Depends)" "$asset" "$arch"
  fi
done <"$builds" >"$work/libraries"

# The SBOM's serial number: a UUID of version 5 (RFC 9562) of the release's
# name and commit in the URL namespace, the same for every builder.
name_uuid() {
  local hash
  hash=$({ printf '\x6b\xa7\xb8\x11\x9d\xad\x11\xd1\x80\xb4\x00\xc0\x4f\xd4\x30\xc8'; printf '%s' "$1"; } |
    sha1sum | cut -c 1-32)
  printf '%s-%s-5%s-%x%s-%s\n' "${hash:0:8}" "${hash:8:4}" "${hash:13:3}" \
    $(((0x${hash:16:1} & 3) | 8)) "${hash:17:3}" "${hash:20:12}"
}

find "$out" -mindepth 1 -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort |
  while read -r asset; do
    printf '%s\t%s\n' "$asset" "$(sha256sum <"$out/$asset" | cut -d ' ' -f 1)"
  done >"$work/assets"
jq -n --rawfile assets "$work/assets" --rawfile libraries "$work/libraries" \
  --arg version "$version" --arg distro "$distro" \
  --arg serial "urn:uuid:$(name_uuid "calculator $version $commit")" \
  --arg timestamp "$(date -u -d "@$epoch" +%Y-%m-%dT%H:%M:%SZ)" '
  def rows($text): $text | split("\n") | map(select(. != "") | split("\t"));
  def purl($package; $version; $arch; $upstream):
    "pkg:deb/debian/\($package)" + (if $version == "" then "" else "@\($version | @uri)" end)
    + "?arch=\($arch)&distro=\($distro)"
    + (if $upstream == "" then "" else "&upstream=\($upstream | @uri)" end);
  (rows($libraries) | map({asset: .[0], kind: .[1], name: .[2], package: .[3], version: .[4],
    arch: .[5], source: .[6], source_version: .[7], license: .[8]})) as $libraries
  | def ref: "\(.asset)/\(.name)";
  def contained: {type: "library", "bom-ref": ref,
      name: (if .kind == "start" then "\(.name) start files" else .name end),
      version: .source_version,
      description: ((if .kind == "start" then "the start files of \(.name)" else .name end)
        + ", linked in from the Debian package \(.package) \(.version), which holds the code"
        + " of the source package \(.source) \(.source_version)"),
      licenses: [{expression: .license}],
      purl: purl(.package; .version; .arch; "\(.source)@\(.source_version)")};
  def runtime: {type: "library", "bom-ref": ref, name: .package,
      description: ("needed at run time, from the system: the Debian package \(.package)"
        + (if .version == "" then "" else " (\(.version))" end)),
      purl: purl(.package; ""; .arch; "")};
  {bomFormat: "CycloneDX", specVersion: "1.5",
   serialNumber: $serial, version: 1,
   metadata: {timestamp: $timestamp,
     component: {type: "application", "bom-ref": "calculator", name: "calculator",
       version: $version, licenses: [{license: {id: "MIT"}}]}},
   components: (
     [rows($assets)[] as [$asset, $sha256]
      | {type: "file", "bom-ref": $asset, name: $asset,
         hashes: [{alg: "SHA-256", content: $sha256}]}
        + ([$libraries[] | select(.asset == $asset and .kind != "runtime") | contained]
           | if length > 0 then {components: .} else {} end)]
     + [$libraries[] | select(.kind == "runtime") | runtime]),
   dependencies: (
     [rows($assets)[] as [$asset]
      | {ref: $asset, dependsOn: [$libraries[] | select(.asset == $asset) | ref]}]
     + [$libraries[] | {ref: ref, dependsOn: []}])}' >"$work/sbom"
mv "$work/sbom" "$out/$sbom"
