#!/usr/bin/env bash
# Checks a downloaded release by building it again, reading the download as whoever
# tampered with it would write it; doc/verifying.md says what it checks, and how.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
say() { echo "verify: $*"; }
fail() { echo "verify: $*" >&2; exit 1; }
usage() {
  echo "usage: tools/verify-release.sh [--keyring FILE] [--chroot TARBALL | --keep-chroot]
       [--output OUT] [--time-limit MINUTES] [--no-diffoscope] DIR" >&2
  exit 2
}
keyring="" chroot="" keep="" output="" dir="" minutes=15 diffoscope=yes
while [ $# -gt 0 ]; do
  case $1 in
    --keep-chroot) keep=yes; shift ;;
    --no-diffoscope) diffoscope=""; shift ;;
    --keyring | --chroot | --output | --time-limit)
      [ $# -ge 2 ] || usage
      case $1 in
        --keyring) keyring=$(realpath -- "$2") ;;
        --chroot) chroot=$(realpath -- "$2") ;;
        --output) output=$(realpath -m -s -- "$2") ;;
        --time-limit) [[ $2 =~ ^[1-9][0-9]{0,3}$ ]] || usage; minutes=$2 ;;
      esac
      shift 2
      ;;
    -*) usage ;;
    *) [ -z "$dir" ] && [ $# -eq 1 ] || usage; dir=$(realpath -- "$1"); shift ;;
  esac
done
[ -n "$dir" ] && { [ -z "$chroot" ] || [ -z "$keep" ]; } || usage
output=${output:-$PWD/rebuild}
cd "$(dirname "$0")/.."
wanted=" $(packages verifying) "  # what an option leaves out is not needed
[ -n "$diffoscope" ] || wanted=${wanted/ diffoscope-minimal / }
[ -n "$keyring" ] || wanted=${wanted/ gpgv / }
[ -z "$chroot" ] || wanted=${wanted/ mmdebstrap / }
needs $wanted
refuse_archive_settings
bash tools/contain.sh --probe || exit 1
[ -d "$dir" ] || fail "$(printable "$dir") is not a folder"
[ ! -e "$output" ] && [ ! -L "$output" ] || fail "$(printable "$output") is there already;" \
  "the check writes only into a new folder: remove it, or name another with --output"
work=$(mktemp -d "${TMPDIR:-/var/tmp}/calculator-verify.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The download, copied once: plain files with plain names, within limits; nothing reads
# DIR again.
download=$work/download && mkdir "$download" || exit 1
refused=$(perl -MFcntl -e '
  my ($dir, $copy, $files, $bytes, $all) = (@ARGV, 64, 64 << 20, 1 << 30);
  opendir(my $entries, $dir) or die "cannot read $dir: $!\n";
  my @names;
  while (defined(my $name = readdir $entries)) {
    push @names, $name unless $name eq "." || $name eq "..";
    die "$dir holds more than $files entries, the limit\n" if @names > $files;
  }
  for my $name (sort @names) {
    (my $shown = $name) =~ s/[^\x20-\x7e]/?/g;
    if ($name !~ /^[A-Za-z0-9_+~][A-Za-z0-9._+~-]*$/) {
      print "$shown (refused for its name, which is not a plain file name)\n";
    } elsif (!sysopen(my $in, "$dir/$name", O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)) {
      print "$name (", ($!{ELOOP} ? "symbolic link" : "unreadable: $!"), ")\n";
    } elsif (!-f $in) {
      print "$name (", (-d _ ? "folder" : -p _ ? "fifo" : -S _ ? "socket" : "device"), ")\n";
    } elsif (-s _ > $bytes || ($all -= -s _) < 0) {
      print "$name (larger than the limit of $bytes bytes a file, or ", 1 << 30, " in all)\n";
    } else {
      open(my $out, ">", "$copy/$name") or die "$copy/$name: $!\n";
      my ($read, $data, $total) = (0, "", 0);
      print $out $data while ($read = sysread($in, $data, 1 << 16)) && ($total += $read) <= $bytes;
      defined $read or die "cannot read $name: $!\n";
      close($out) or die "$copy/$name: $!\n";
    }
  }' -- "$dir" "$download") || fail "the download cannot be copied, so nothing was checked"
contained() { attend bash tools/contain.sh run "$@"; }
if [ -n "$keyring" ]; then
  [ -f "$download/SHA256SUMS.asc" ] && [ -f "$download/SHA256SUMS" ] ||
    fail "$dir holds no SHA256SUMS.asc with a SHA256SUMS, as plain files, to check with the keyring"
  contained --in SHA256SUMS="$download/SHA256SUMS" --in SHA256SUMS.asc="$download/SHA256SUMS.asc" \
    --in keyring="$keyring" --errors /dev/null -- gpgv --homedir /tmp --status-fd 1 \
    --keyring /in/keyring -- /in/SHA256SUMS.asc /in/SHA256SUMS >"$work/gpgv" || true
  signatures=$(awk '$1 != "[GNUPG:]" { next }
    $2 == "GOODSIG" { $1 = $2 = $3 = ""; sub(/^ +/, ""); user = $0 }
    $2 == "VALIDSIG" { print "good " $NF " " user; user = "" }
    $2 ~ /^(EXPKEYSIG|REVKEYSIG|EXPSIG|BADSIG|ERRSIG)$/ { print "bad " $2 }' "$work/gpgv")
  [ -n "$signatures" ] && ! grep -q '^bad ' <<<"$signatures" ||
    fail "SHA256SUMS.asc is not a good signature of SHA256SUMS by a valid key in" \
      "$(printable "$keyring") (read in binary form: gpg --dearmor makes it of an armored" \
      "key); gpgv says: $(grep -o '^bad [A-Z]*' <<<"${signatures:-bad NONE}" | sed '
        s/EXPKEYSIG/by an expired key/; s/REVKEYSIG/by a revoked key/; s/EXPSIG/expired/
        s/BADSIG/not of these bytes/; s/ERRSIG/by no key it has/; s/NONE/no good signature/
        s/^bad //' | sort -u | paste -s -d ',' | sed 's/,/, /g')"
  while read -r _ fingerprint user; do
    say "signature: good, by $(printable "$user") (key $(printable "$fingerprint"))"
  done <<<"$signatures"
else
  say "signature: not checked (give the maintainers' keys with --keyring)"
fi
sums=$download/SHA256SUMS
[ -f "$sums" ] || fail "$dir holds no SHA256SUMS as a plain file"
refuse_odd_sums "$sums" SHA256SUMS
listed=$(cut -c 67- "$sums")
while IFS= read -r name; do
  [ -z "$name" ] || [ "$name" = SHA256SUMS ] || [ "$name" = SHA256SUMS.asc ] ||
    grep -qxF -- "$name" <<<"$listed" || refused+=${refused:+$'\n'}"$name (not listed)"
done < <(cd "$download" && LC_ALL=C ls)
if [ -n "$refused" ]; then
  fail "$dir holds what is not a plain file that SHA256SUMS lists, so nothing was built:" \
    "$(sed 's/^/  /; 1s/^/\n/' <<<"$refused")"
fi
mismatched=() absent=()
while read -r sum name; do
  if [ ! -e "$download/$name" ]; then absent+=("$name")
  elif [ "$(sha256sum <"$download/$name" | cut -c 1-64)" != "$sum" ]; then mismatched+=("$name")
  fi
done <"$sums"
[ ${#mismatched[@]} -eq 0 ] ||
  fail "these files do not match SHA256SUMS, so nothing was built: ${mismatched[*]}"
# The .buildinfo, read contained by dpkg's parser, and what it gives checked again here.
buildinfo=$(grep -x 'calculator_.*\.buildinfo' <<<"$listed" || true)
[ "$(wc -w <<<"$buildinfo")" -eq 1 ] && [ -e "$download/$buildinfo" ] ||
  fail "SHA256SUMS lists no calculator_VERSION_ARCH.buildinfo, or more than one," \
    "or it is not in $dir"
contained --in "$buildinfo=$download/$buildinfo" --in buildinfo.pl=tools/read-buildinfo.pl \
  --errors "$work/buildinfo.err" -- perl buildinfo.pl "$buildinfo" $(facts rebuilds) \
  >"$work/record" || {
  head -n 20 "$work/buildinfo.err" | cut -c 1-300 | LC_ALL=C tr -c '\n -~' '?' | sed 's/^/  /' >&2
  fail "$buildinfo is refused, so nothing was built"
}
if LC_ALL=C grep -vxE "version [0-9]+\.[0-9]+\.[0-9]+(~dev\+git\.[0-9a-f]{7})?|commit [0-9a-f]{40}|\
architecture [a-z0-9]+|release ($(facts rebuilds | tr ' ' '|'))|\
package [a-z0-9][a-z0-9+.-]+ [A-Za-z0-9.+~:-]+" "$work/record" >/dev/null; then
  fail "dpkg's parser read from $buildinfo what is not in form, so nothing was built"
fi
value() { awk -v name="$1" '$1 == name { print $2 }' "$work/record"; }
version=$(value version) commit=$(value commit) arch=$(value architecture) release=$(value release)
packages=$(awk '$1 == "package" { print $2 "=" $3 }' "$work/record")
[ "$buildinfo" = "calculator_${version}_$arch.buildinfo" ] ||
  fail "$buildinfo is named for another version or machine than its fields, $version on $arch"
[ "$arch" = "$(dpkg --print-architecture)" ] ||
  fail "the release was built on $arch, so it is rebuilt on $arch, not $(dpkg --print-architecture)"
tarball=$(asset_name source "$version")
grep -qxF "$tarball" <<<"$listed" && [ -e "$download/$tarball" ] ||
  fail "SHA256SUMS lists no $tarball, or it is not in $dir"
say "download: copied; the files in $dir are those SHA256SUMS lists, and match it;" \
  "$buildinfo is in form"
# The source: each entry's type, mode, name and checksum, against git archive's.
git_alone cat-file -e "$commit^{commit}" 2>/dev/null ||
  fail "this clone lacks commit $commit, which $buildinfo names: fetch it (git fetch)," \
    "then check again"
[ "$(release_name_of "$commit")" = "$version" ] ||
  fail "$buildinfo names version $version, but commit $commit is $(release_name_of "$commit")"
git_alone -c tar.umask=0022 archive --format=tar --prefix="calculator-$version/" \
  --output="$work/commit.tar" "$commit"
manifest() {
  contained --in archive="$1" --errors "$work/tar.err" -- bash -c '
    { LC_ALL=C tar -tvf archive --quoting-style=escape --numeric-owner |
        sed -E "s/^(\S+) +\S+ +\S+ +\S+ +\S+ (.*)$/\1 \2/"
      LC_ALL=C tar -xf archive --to-command="printf \"%s sha256=%s\n\" \"\$TAR_FILENAME\" \
        \"\$(sha256sum | cut -c 1-64)\""
    } | LC_ALL=C sort' >"$2"
}
manifest "$work/commit.tar" "$work/commit.manifest" || fail "git archive of $commit cannot be read"
manifest "$download/$tarball" "$work/tarball.manifest" ||
  fail "$tarball is not a tar archive that tar reads: $(printable "$(head -c 300 "$work/tar.err")")"
if ! differences=$(diff "$work/commit.manifest" "$work/tarball.manifest"); then
  fail "$tarball is not the files of commit $commit, so nothing was built:$(
    sed -n 's/^> /not in the commit: /p; s/^< /missing or changed: /p' <<<"$differences" |
      head -n 20 | while IFS= read -r line; do printf '\n  %s' "$(printable "$line")"; done)"
fi
say "source: $tarball holds exactly the files of commit $commit, which is version $version"
key=$(chroot_key "$release" "$arch" $packages)
if [ -n "$chroot" ]; then
  say "chroot: $(printable "$chroot"), given; it is trusted as its maker is"
elif [ -n "$keep" ] && [ -f "$chroots/$key.tar" ]; then
  chroot=$chroots/$key.tar
  say "chroot: kept from an earlier check, $chroot, unpacked anew"
else
  chroot=$work/chroot.tar
  [ -z "$keep" ] || { mkdir -p "$chroots"; chroot=$chroots/$key.tar; }
  say "chroot: making Debian $release ($arch) with the .buildinfo's" \
    "$(wc -l <<<"$packages") packages"
  if ! attend bash tools/make-chroot.sh "$release" "$chroot" $packages 2>"$work/chroot.err"; then
    gone=$(sed -n "s/^E: Version '\(.*\)' for '\(.*\)' was not found$/\2 \1/p" "$chroot.log")
    rm -f "$chroot.log"
    [ -n "$gone" ] || { excerpt "$work/chroot.err" >&2; fail "cannot make the chroot"; }
    sed 's/^/verify: the archive no longer has /' <<<"$gone" >&2
    fail "cannot make the chroot from Debian's archive, which keeps only the newest versions;" \
      "debootsnap --buildinfo=$dir/$buildinfo CHROOT.tar takes each from Debian's snapshot" \
      "archive, then check with --chroot CHROOT.tar"
  fi
fi
installed=$(chroot_packages "$chroot" "$work")
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
say "packages: the chroot holds each of the .buildinfo's at its version${extra:+," \
  "and also: $(echo $extra)}"
mkdir -- "$output"
say "build: calculator $version from $tarball alone, contained, within $minutes minutes" \
  "(log: $output/build.log)"
attend bash tools/contain.sh build --time $((minutes * 60)) "$chroot" "$download/$tarball" \
  "$output/release" "$output/build.log" 2>"$work/build.err" || {
  excerpt "$output/build.log" >&2
  LC_ALL=C tr -c '\n -~' '?' <"$work/build.err" | head -c 4096 >&2
  fail "the rebuild failed, so nothing was compared"
}
if [ ! -e "$output/release/SHA256SUMS" ]; then  # as releases before 1.7.0 left it to us
  (cd "$output/release" && LC_ALL=C ls | xargs -r -d '\n' sha256sum --) >"$work/sums" &&
    mv "$work/sums" "$output/release/SHA256SUMS"
fi
refuse_odd_sums "$output/release/SHA256SUMS" "the rebuilt SHA256SUMS"
(cd "$output/release" && sha256sum --quiet --strict -c SHA256SUMS) ||
  fail "the rebuilt SHA256SUMS does not match what the rebuild made"
say "compare: each file in $dir with its rebuild in $output/release"
differ=0 same=0
compare() {
  local name=$1 a=$download/$1 b=$output/release/$1 report first sizes status=0
  if [ ! -e "$b" ]; then
    printf 'MISSING  %s  (not rebuilt)\n' "$name"
  elif cmp -s -- "$a" "$b"; then
    printf 'same     %s\n' "$name" && same=$((same + 1)) && return
  else
    sizes=$(stat -c %s -- "$a" "$b" | xargs)
    read -r report first < <({ cmp -l -- "$a" "$b" 2>/dev/null || true; } |
      awk 'NR == 1 { first = $1 } END { print NR, first }')
    report+=" of the bytes both have differ; the first difference at byte"
    report+=" ${first:-$((${sizes% *} < ${sizes#* } ? ${sizes% *} + 1 : ${sizes#* } + 1))};"
    report+=" ${sizes% *} bytes, rebuilt ${sizes#* }"
    if [ -n "$diffoscope" ]; then
      mkdir -p "$output/diffoscope"
      contained --in a="$a" --in b="$b" --errors "$work/diffoscope.err" -- bash -c '
        mkdir download rebuild && mv a "download/$1" && mv b "rebuild/$1" &&
        exec diffoscope --text - "download/$1" "rebuild/$1"' - "$name" \
        >"$output/diffoscope/$name.txt" 2>"$work/contain.err" || status=$?
      if [ -s "$work/contain.err" ]; then
        report+="; diffoscope's report, incomplete as $(sed -n '1s/^contain: .* was stopped: //p' \
          "$work/contain.err")"
      elif [ "$status" -gt 1 ]; then
        report+="; diffoscope's report, incomplete as it ended with status $status"
        report+=" ($(printable "$(tail -n 1 "$work/diffoscope.err" | cut -c 1-100)"))"
      else
        report+="; diffoscope's report"
      fi
      report+=": $output/diffoscope/$name.txt"
    fi
    printf 'DIFFERS  %s  (%s)\n' "$name" "$report"
  fi
  differ=$((differ + 1))
}
while read -r _ name; do
  [[ " ${absent[*]-} " == *" $name "* ]] || compare "$name"
done <"$sums"
compare SHA256SUMS
for name in $(cd "$output/release" && LC_ALL=C ls); do
  [ "$name" = SHA256SUMS ] || grep -qxF -- "$name" <<<"$listed" || {
    printf 'EXTRA    %s  (rebuilt, but SHA256SUMS does not list it)\n' "$name"
    differ=$((differ + 1)); }
done
for name in ${absent[@]+"${absent[@]}"}; do
  printf 'unchecked %s  (not in %s; its checksum was compared in SHA256SUMS)\n' "$name" "$dir"
done
[ "$differ" -eq 0 ] || fail "$differ of $((same + differ)) files differ from their rebuild"
say "all $same files checked are the same as their rebuild; its SHA256SUMS, which a rebuilder" \
  "may sign: $output/release/SHA256SUMS"
