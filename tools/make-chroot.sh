#!/usr/bin/env bash
# Makes a minimal Debian system of SUITE as a tarball, OUT, holding each PACKAGE (NAME,
# NAME=VERSION or NAME/SUITE), from the machine's Debian mirror (doc/releasing.md).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
fail() { echo "make-chroot: $*" >&2; exit 1; }
[ $# -ge 2 ] || { echo "usage: tools/make-chroot.sh SUITE OUT PACKAGE..." >&2; exit 2; }
suite=$1 out=$2
shift 2
needs mmdebstrap
[ "$(id -u)" -eq 0 ] || grep -qs "^$(id -un):" /etc/subuid || no_subordinate_ids /etc/subuid
archive() {  # the URL of the machine's apt source with that label
  apt-cache policy 2>/dev/null |
    awk -v label="l=$1," '$2 ~ /^https?:/ { url = $2 } index($0, label) && url { print url; exit }'
}
debian=$(archive Debian) security=$(archive Debian-Security)
debian=${debian:-http://deb.debian.org/debian}
sources=("deb $debian $suite main" "deb $debian $suite-updates main"
  "deb ${security:-http://deb.debian.org/debian-security} $suite-security main")
for other in $(printf '%s\n' "$@" | sed -n 's|^[^/]*/||p' | sort -u); do
  sources+=("deb $debian $other main")
done
trap 'rm -f "$out.partial"' EXIT
# A .buildinfo may name an older version than the newest, where the archive still has it.
if ! attend mmdebstrap --variant=minbase --format=tar ${1:+--include="$(IFS=,; echo "$*")"} \
  --hook-dir=/usr/share/mmdebstrap/hooks/maybe-merged-usr \
  --aptopt='APT::Get::allow-downgrades "true"' \
  -- "$suite" "$out.partial" "${sources[@]}" >"$out.log" 2>&1; then
  tail -n 20 "$out.log" >&2
  fail "mmdebstrap could not make the chroot; its messages are in $out.log"
fi
mv "$out.partial" "$out"
rm -f "$out.log"
