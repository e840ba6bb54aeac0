#!/usr/bin/env bash
# Checks a downloaded release by building it again. DIR holds SHA256SUMS,
# the .buildinfo, the source tarball and any other assets to check, and is
# read as whoever tampered with it would write it: every file and field is
# checked before anything is built, each value is data, and the build runs
# contained, as the caller or less.
#   signature   with --keyring, SHA256SUMS.asc is checked by gpgv first
#   download    every file in DIR is a plain file that SHA256SUMS lists, on
#               a line in sha256sum's own form, and matches it
#   .buildinfo  every field is checked against Debian's syntax, read with
#               dpkg's parser (tools/buildinfo.pl)
#   source      the source tarball holds exactly the files of the commit the
#               .buildinfo names, in this clone: paths, types, modes and
#               contents; the version is that commit's
#   chroot      a minimal Debian chroot of the .buildinfo's release, holding
#               its packages at their versions (tools/make-chroot.sh), or one
#               given with --chroot; each package is checked against the
#               .buildinfo
#   build       the release rebuilt there from the source tarball alone
#               (tools/build-in-chroot.sh): contained, no network, nothing of
#               it left running; only the plain files it made come back
#   compare     each downloaded file with its rebuild, SHA256SUMS and the
#               records included; diffoscope reports where one differs
# It prints a line for each stage and each file, writes the rebuilt release
# with its own SHA256SUMS into OUT/release, the build's log into OUT, and
# exits 0 only when every file checked is the same.
# Usage: tools/verify-release.sh [--keyring FILE] [--chroot TARBALL | --keep-chroot]
#                                [--output OUT] DIR
#   --keyring FILE    the maintainers' keys, which SHA256SUMS.asc must be made with
#   --chroot TARBALL  rebuild in this chroot, made elsewhere (debootsnap --buildinfo)
#   --keep-chroot     keep the chroot made for this release's packages in
#                     ~/.cache/calculator-rebuild, to rebuild there next time
#   --output OUT      a new folder for what the check writes; DIR/rebuild by default
set -euo pipefail
. "$(dirname "$0")/lib.sh"
say() { echo "verify: $*"; }
fail() {
  echo "verify: $*" >&2
  exit 1
}
usage="usage: tools/verify-release.sh [--keyring FILE] [--chroot TARBALL | --keep-chroot]
       [--output OUT] DIR"
keyring="" chroot="" keep="" output="" dir=""
while [ $# -gt 0 ]; do
  case $1 in
    --keep-chroot) keep=yes; shift ;;
    --keyring | --chroot | --output)
      [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      case $1 in
        --keyring) keyring=$(realpath -- "$2") ;;
        --chroot) chroot=$(realpath -- "$2") ;;
        --output) output=$(realpath -m -s -- "$2") ;;
      esac
      shift 2
      ;;
    -*) echo "$usage" >&2; exit 2 ;;
    *) [ -z "$dir" ] && [ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }; dir=$(realpath -- "$1"); shift ;;
  esac
done
cd "$(dirname "$0")/.."
[ -n "$dir" ] && { [ -z "$chroot" ] || [ -z "$keep" ]; } || { echo "$usage" >&2; exit 2; }
needs=(git:git perl:libdpkg-perl diffoscope:diffoscope-minimal)
[ -z "$keyring" ] || needs+=(gpgv:gpgv)
[ -n "$chroot" ] || needs+=(mmdebstrap:mmdebstrap)
[ -n "$chroot" ] || [ "$(id -u)" -eq 0 ] || needs+=(newuidmap:uidmap)
for pair in "${needs[@]}"; do
  command -v "${pair%%:*}" >/dev/null || fail "needs ${pair%%:*} (Debian package ${pair#*:})"
done
perl -MDpkg::Control -e 1 2>/dev/null || fail "needs dpkg's perl modules (Debian package libdpkg-perl)"
bash tools/build-in-chroot.sh --probe || exit 1

[ -d "$dir" ] || fail "$(printable <<<"$dir") is not a folder"
output=${output:-$dir/rebuild}
if [ -e "$output" ] || [ -L "$output" ]; then
  fail "$(printable <<<"$output") is there already; the check writes only into a new folder:" \
    "remove it, or name another with --output"
fi
# Only plain files are read: no link, folder, FIFO or device.
is_plain_file() {
  [ -f "$1" ] && [ ! -L "$1" ]
}

# The signature, before anything else is read.
if [ -n "$keyring" ]; then
  is_plain_file "$dir/SHA256SUMS.asc" && is_plain_file "$dir/SHA256SUMS" ||
    fail "$dir holds no SHA256SUMS.asc with a SHA256SUMS, as plain files, to check with the keyring"
  status=$(gpgv --status-fd 1 --keyring "$keyring" -- "$dir/SHA256SUMS.asc" "$dir/SHA256SUMS" \
    2>/dev/null) || fail "SHA256SUMS.asc is not a good signature of SHA256SUMS by a key in $keyring" \
    "(which gpgv reads in binary form: gpg --dearmor makes it of an armored key)"
  signer=$(awk '$2 == "GOODSIG" { $1 = $2 = $3 = ""; sub(/^ +/, ""); print }' <<<"$status")
  fingerprint=$(awk '$2 == "VALIDSIG" { print $3 }' <<<"$status")
  say "signature: good, by $(printable <<<"$signer") (key $(printable <<<"$fingerprint"))"
else
  say "signature: not checked (give the maintainers' keys with --keyring)"
fi

# The download: SHA256SUMS in sha256sum's own form, and every file in DIR one
# that it lists, the signature aside.
is_plain_file "$dir/SHA256SUMS" || fail "$dir holds no SHA256SUMS as a plain file"
bad_lines=$(LC_ALL=C grep -anvxE "[0-9a-f]{64}  $plain_name" "$dir/SHA256SUMS" || true)
[ -z "$bad_lines" ] || fail "SHA256SUMS has lines other than 'SHA256  NAME' with a plain name," \
  "so nothing was built:"$'\n'"$(printable <<<"$bad_lines")"
[ -s "$dir/SHA256SUMS" ] && [ "$(tail -c 1 "$dir/SHA256SUMS" | od -A n -t x1)" = " 0a" ] ||
  fail "SHA256SUMS is empty or does not end its last line, so nothing was built"
listed=$(cut -c 67- "$dir/SHA256SUMS")
twice=$(LC_ALL=C sort <<<"$listed" | uniq -d)
[ -z "$twice" ] || fail "SHA256SUMS lists $(echo $twice) more than once"
! grep -qx SHA256SUMS <<<"$listed" || fail "SHA256SUMS lists itself"
unlisted=()
while IFS= read -r -d '' entry; do
  name=${entry#"$dir"/}
  if ! is_plain_file "$entry" || ! [[ $name =~ ^$plain_name$ ]] ||
    { [ "$name" != SHA256SUMS ] && [ "$name" != SHA256SUMS.asc ] && ! grep -qxF "$name" <<<"$listed"; }; then
    unlisted+=("$(printf '%s (%s)' "$name" "$(stat -c %F -- "$entry")" | printable)")
  fi
done < <(find "$dir" -mindepth 1 -maxdepth 1 -print0)
if [ ${#unlisted[@]} -gt 0 ]; then
  fail "$dir holds what SHA256SUMS does not list as a plain file, so nothing was built:" \
    "$(printf '\n  %s' "${unlisted[@]}")"
fi
mismatched=() absent=()
while read -r sum name; do
  if [ ! -e "$dir/$name" ]; then
    absent+=("$name")
  elif [ "$(sha256sum <"$dir/$name" | cut -c 1-64)" != "$sum" ]; then
    mismatched+=("$name")
  fi
done <"$dir/SHA256SUMS"
[ ${#mismatched[@]} -eq 0 ] ||
  fail "these files do not match SHA256SUMS, so nothing was built: ${mismatched[*]}"

# The .buildinfo, read by dpkg's parser into checked values.
buildinfo=$(grep -x 'calculator_.*\.buildinfo' <<<"$listed" || true)
[ "$(wc -w <<<"$buildinfo")" -eq 1 ] && [ -e "$dir/$buildinfo" ] ||
  fail "SHA256SUMS lists no calculator_VERSION_ARCH.buildinfo, or more than one, or it is not in $dir"
record=$(perl tools/buildinfo.pl read "$dir/$buildinfo") ||
  fail "$buildinfo is refused, so nothing was built"
value() { awk -v name="$1" '$1 == name { print $2 }' <<<"$record"; }
version=$(value version) commit=$(value commit) arch=$(value architecture) release=$(value release)
packages=$(awk '$1 == "package" { print $2 "=" $3 }' <<<"$record")
[ "$buildinfo" = "calculator_${version}_$arch.buildinfo" ] ||
  fail "$buildinfo is named for another version or machine than its fields, $version on $arch"
[ "$arch" = "$(dpkg --print-architecture)" ] ||
  fail "the release was built on $arch, so it is rebuilt on $arch, not $(dpkg --print-architecture)"
tarball=calculator-$version.tar.gz
grep -qxF "$tarball" <<<"$listed" && [ -e "$dir/$tarball" ] ||
  fail "SHA256SUMS lists no $tarball, or it is not in $dir"
say "download: the files in $dir are those SHA256SUMS lists, and match it; $buildinfo is in form"

# The source: the tarball against git archive of the commit, in this clone.
git_alone cat-file -e "$commit^{commit}" 2>/dev/null ||
  fail "this clone lacks commit $commit, which $buildinfo names: fetch it (git fetch), then check again"
[ "$(release_name_of "$commit")" = "$version" ] ||
  fail "$buildinfo names version $version, but commit $commit is $(release_name_of "$commit")"
# The entries of a tar archive, one a line, in order: type, mode and name as
# tar lists them, and each file's name with its contents' checksum. The
# archive is read, not unpacked.
manifest() {
  {
    LC_ALL=C tar -tvf "$1" --quoting-style=escape --numeric-owner |
      sed -E 's/^(\S+) +\S+ +\S+ +\S+ +\S+ (.*)$/\1 \2/'
    LC_ALL=C tar -xf "$1" \
      --to-command='printf "%s sha256=%s\n" "$TAR_FILENAME" "$(sha256sum | cut -c 1-64)"'
  } | LC_ALL=C sort
}
# Chroots and builds are large: they go where large temporary files do.
work=$(mktemp -d "${TMPDIR:-/var/tmp}/calculator-verify.XXXXXX")
trap 'rm -rf "$work"' EXIT
git_alone -c tar.umask=0022 archive --format=tar --prefix="calculator-$version/" \
  --output="$work/commit.tar" "$commit"
manifest "$work/commit.tar" >"$work/commit.manifest"
manifest "$dir/$tarball" >"$work/tarball.manifest" 2>"$work/tar.err" ||
  fail "$tarball is not a tar archive that tar reads: $(head -n 3 "$work/tar.err" | printable)"
if ! differences=$(diff "$work/commit.manifest" "$work/tarball.manifest"); then
  fail "$tarball is not the files of commit $commit, so nothing was built:"$'\n'"$(
    sed -n 's/^> /  not in the commit: /p; s/^< /  missing or changed: /p' <<<"$differences" |
      printable)"
fi
say "source: $tarball holds exactly the files of commit $commit, which is version $version"

# The chroot: given, kept from an earlier check, or made.
key=$(printf '%s\n' "$release" "$arch" $packages | sha256sum | cut -c 1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/calculator-rebuild
if [ -n "$chroot" ]; then
  say "chroot: $(printable <<<"$chroot"), given; it is trusted as its maker is"
elif [ -n "$keep" ] && is_plain_file "$cache/$key.tar"; then
  chroot=$cache/$key.tar
  say "chroot: kept from an earlier check, $chroot, unpacked anew"
else
  if [ -n "$keep" ]; then
    mkdir -p "$cache"
    chroot=$cache/$key.tar
  else
    chroot=$work/chroot.tar
  fi
  say "chroot: making Debian $release ($arch) with the .buildinfo's $(wc -l <<<"$packages") packages"
  if ! bash tools/make-chroot.sh "$release" "$chroot.partial" $packages 2>"$work/chroot.err"; then
    gone=$(sed -n "s/^E: Version '\(.*\)' for '\(.*\)' was not found$/\2 \1/p" "$chroot.partial.log")
    rm -f "$chroot.partial.log"
    [ -n "$gone" ] || { printable <"$work/chroot.err" >&2; fail "cannot make the chroot"; }
    sed 's/^/verify: the archive no longer has /' <<<"$gone" >&2
    fail "cannot make the chroot from Debian's archive, which keeps only the newest versions;" \
      "debootsnap --buildinfo=$dir/$buildinfo CHROOT.tar takes each from Debian's snapshot" \
      "archive, then check with --chroot CHROOT.tar"
  fi
  mv "$chroot.partial" "$chroot"
fi
# Its packages, read from its dpkg database by dpkg.
mkdir "$work/dpkg"
tar -xOf "$chroot" ./var/lib/dpkg/status >"$work/dpkg/status" 2>/dev/null ||
  tar -xOf "$chroot" var/lib/dpkg/status >"$work/dpkg/status" 2>/dev/null ||
  fail "$(printable <<<"$chroot") holds no dpkg database, var/lib/dpkg/status"
installed=$(dpkg-query --admindir="$work/dpkg" -W -f '${db:Status-Abbrev} ${Package}=${Version}\n' |
  awk '$1 == "ii" { print $2 }' | LC_ALL=C sort)
wrong=$(LC_ALL=C comm -23 <(LC_ALL=C sort <<<"$packages") <(echo "$installed"))
if [ -n "$wrong" ]; then
  while read -r package; do
    found=$(grep "^${package%%=*}=" <<<"$installed" | sed 's/^[^=]*=//' || true)
    echo "verify: packages: ${package%%=*} is ${found:-not installed} in the chroot," \
      "${package#*=} in the .buildinfo" >&2
  done <<<"$wrong"
  fail "the chroot does not hold the .buildinfo's packages, so nothing was built"
fi
extra=$(LC_ALL=C comm -13 <(LC_ALL=C sort <<<"$packages") <(echo "$installed") | sed 's/=.*//')
say "packages: the chroot holds each of the .buildinfo's at its version${extra:+, and also: $(echo $extra)}"

# The build, contained; only the plain files it made come back.
mkdir -- "$output"
say "build: calculator $version from $tarball alone, contained (log: $output/build.log)"
bash tools/build-in-chroot.sh "$chroot" "$dir/$tarball" "$output/release" "$output/build.log" \
  2>"$work/build.err" || {
  tail -n 20 "$output/build.log" | printable >&2
  printable <"$work/build.err" >&2
  fail "the rebuild failed, so nothing was compared"
}
write_sums "$output/release"

# Every downloaded file against its rebuild, SHA256SUMS included.
say "compare: each file in $dir with its rebuild in $output/release"
differ=0 same=0
compare() {
  local name=$1
  if [ ! -e "$output/release/$name" ]; then
    printf 'MISSING  %s  (not rebuilt)\n' "$name"
    differ=$((differ + 1))
  elif cmp -s -- "$dir/$name" "$output/release/$name"; then
    printf 'same     %s\n' "$name"
    same=$((same + 1))
  else
    mkdir -p "$output/diffoscope"
    timeout 600 diffoscope --text "$output/diffoscope/$name.txt" -- "$dir/$name" \
      "$output/release/$name" >/dev/null 2>&1 || true
    printf 'DIFFERS  %s  (diffoscope: %s)\n' "$name" "$output/diffoscope/$name.txt"
    differ=$((differ + 1))
  fi
}
while read -r _ name; do
  [[ " ${absent[*]-} " == *" $name "* ]] || compare "$name"
done <"$dir/SHA256SUMS"
compare SHA256SUMS
for name in $(cd "$output/release" && LC_ALL=C ls); do
  if [ "$name" != SHA256SUMS ] && ! grep -qxF -- "$name" <<<"$listed"; then
    printf 'EXTRA    %s  (rebuilt, but SHA256SUMS does not list it)\n' "$name"
    differ=$((differ + 1))
  fi
done
for name in ${absent[@]+"${absent[@]}"}; do
  printf 'unchecked %s  (not in %s; its checksum was compared in SHA256SUMS)\n' "$name" "$dir"
done
[ "$differ" -eq 0 ] || fail "$differ of $((same + differ)) files differ from their rebuild"
say "all $same files checked are the same as their rebuild; its SHA256SUMS, which a rebuilder" \
  "may sign: $output/release/SHA256SUMS"
