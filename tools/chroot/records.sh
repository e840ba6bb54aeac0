#!/usr/bin/env bash
# Writes a release's records into OUT, in its chroot: the .buildinfo, the bill of
# materials and SHA256SUMS (doc/releasing.md). Usage: records.sh OUT BUILDS NAME COMMIT
# EPOCH, where a line of BUILDS is an asset and the build folder that made it.
set -euo pipefail
out=$1 builds=$2 name=$3 commit=$4 epoch=$5
cd "$(dirname "$0")/../.."
. tools/lib.sh
arch=$(dpkg --print-architecture)
distro=debian-$(. /etc/os-release && echo "$VERSION_ID")
buildinfo=$(asset_name buildinfo "$name") sbom=$(asset_name sbom "$name")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t assets < <(find "$out" -mindepth 1 -maxdepth 1 -type f | LC_ALL=C sort)
perl tools/chroot/write-buildinfo.pl "$name" "$commit" "$epoch" "$out/$buildinfo" \
  "${assets[@]}" >"$work/sums"
(cd "$out" && sha256sum -- "$buildinfo") >>"$work/sums"  # which sorts last, as the bill lists it
# A line a library of a program: asset, how (linked, start, runtime), library, package,
# version, architecture, source package and version (a cross or MinGW package names it
# in Built-Using), license.
while read -r asset folder; do
  [ -f "$folder/libraries.txt" ] && [ "$asset" != "$(asset_name source "$name")" ] || continue
  sort -u "$folder/libraries.txt" |  # a library only of start files is named as them
    awk '{ how[$2 " " $3] = how[$2 " " $3] == "linked" ? "linked" : $1 }
    END { for (key in how) print how[key], key }' | LC_ALL=C sort -k 2 |
    while read -r how library package; do
      read -r source_pattern license < <(facts library | awk -v name="$library" '$1 == name {
        $1 = $2 = ""; print substr($0, 3) }')
      IFS=$'\t' read -r version package_arch source source_version built_using < <(dpkg-query -W \
        -f '${Version}\t${Architecture}\t${source:Package}\t${source:Version}\t${Built-Using}\n' \
        "$package")
      if ! [[ $source =~ ^($source_pattern)$ ]]; then
        read -r source source_version < <(perl -MDpkg::Deps -e '
          for my $dep (deps_parse($ARGV[0])->get_deps()) {
            print "$dep->{package} $dep->{version}\n" if $dep->{package} =~ /^($ARGV[1])$/;
          }' "$built_using" "$source_pattern") ||
          { echo "records: $package names no source of $library" >&2; exit 1; }
      fi
      printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$asset" "$how" "$library" "$package" \
        "$version" "$package_arch" "$source" "$source_version" "$license"
    done
  # The package's runtime libraries, at the versions its Depends accepts.
  if [[ $asset == *.deb ]]; then
    perl -MDpkg::Deps -e '
      my %vers = ("<<" => "<", "<=" => "<=", "=" => "=", ">=" => ">=", ">>" => ">");
      for my $dep (deps_parse($ARGV[0])->get_deps()) {
        my $range = defined $dep->{relation} ? "$vers{$dep->{relation}}$dep->{version}" : "*";
        print join("\t", $ARGV[1], "runtime", $dep->{package}, $dep->{package}, "vers:deb/$range",
          $ARGV[2], "", "", ""), "\n";
      }' "$(dpkg-deb -f "$out/$asset" Depends)" "$asset" "$arch"
  fi
done <"$builds" >"$work/libraries"
# The serial number: a UUID of version 5 (RFC 9562) in the URL namespace, the same for
# every builder.
name_uuid() {
  local hash
  hash=$({ printf '\x6b\xa7\xb8\x11\x9d\xad\x11\xd1\x80\xb4\x00\xc0\x4f\xd4\x30\xc8'
    printf '%s' "$1"; } | sha1sum | cut -c 1-32)
  printf '%s-%s-5%s-%x%s-%s\n' "${hash:0:8}" "${hash:8:4}" "${hash:13:3}" \
    $(((0x${hash:16:1} & 3) | 8)) "${hash:17:3}" "${hash:20:12}"
}
jq -n --rawfile sums "$work/sums" --rawfile libraries "$work/libraries" \
  --arg version "$name" --arg distro "$distro" --arg arch "$arch" \
  --arg serial "urn:uuid:$(name_uuid "calculator $name $commit")" \
  --arg timestamp "$(date -u -d "@$epoch" +%Y-%m-%dT%H:%M:%SZ)" '
  def rows($text; $separator): $text | split("\n") | map(select(. != "") | split($separator));
  def purl($package; $version; $arch; $upstream):
    "pkg:deb/debian/\($package)" + (if $version == "" then "" else "@\($version | @uri)" end)
    + "?arch=\($arch)&distro=\($distro)"
    + (if $upstream == "" then "" else "&upstream=\($upstream | @uri)" end);
  (rows($libraries; "\t") | map({asset: .[0], kind: .[1], name: .[2], package: .[3],
    version: .[4], arch: .[5], source: .[6], source_version: .[7], license: .[8]})) as $libraries
  | [rows($sums; "  ")[] | {name: .[1], sha256: .[0]}] as $assets
  | def ref: "\(.asset)/\(.name)";
  def contained: {type: "library", "bom-ref": ref,
      name: (if .kind == "start" then "\(.name) start files" else .name end),
      version: .source_version,
      description: ((if .kind == "start" then "the start files of \(.name)" else .name end)
        + ", linked in from the Debian package \(.package) \(.version), which holds the code"
        + " of the source package \(.source) \(.source_version)"),
      licenses: [{expression: .license}],
      purl: purl(.package; .version; .arch; "\(.source)@\(.source_version)")};
  def runtime: {type: "library", "bom-ref": ref, name: .package, isExternal: true,
      versionRange: .version,
      description: "needed at run time, from the system: the Debian package \(.package)",
      purl: purl(.package; ""; .arch; "")};
  {bomFormat: "CycloneDX", specVersion: "1.7", serialNumber: $serial, version: 1,
   metadata: {timestamp: $timestamp, component: {type: "application", "bom-ref": "calculator",
     name: "calculator", version: $version, licenses: [{license: {id: "MIT"}}],
     purl: "pkg:generic/calculator@\($version | @uri)"}},
   components: (
     [$assets[] as $asset
      | {type: "file", "bom-ref": $asset.name, name: $asset.name,
         hashes: [{alg: "SHA-256", content: $asset.sha256}]}
        + ([$libraries[] | select(.asset == $asset.name and .kind != "runtime") | contained]
           | if length > 0 then {components: .} else {} end)]
     + [$libraries[] | select(.kind == "runtime") | runtime]),
   dependencies: (
     [$assets[] | {ref: .name, dependsOn: [.name as $asset | $libraries[]
       | select(.asset == $asset) | ref]}]
     + [$libraries[] | {ref: ref, dependsOn: []}])}' >"$out/$sbom"
# Each asset's checksum as the .buildinfo took it, and the records'.
(cd "$out" && sha256sum -- "$sbom") >>"$work/sums"
LC_ALL=C sort -k 2 "$work/sums" >"$out/SHA256SUMS"
