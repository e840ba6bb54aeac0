#!/usr/bin/env bash
# Makes the chroot that a release is built in, as a tarball, OUT: a minimal
# Debian system of SUITE for this machine's architecture (mmdebstrap
# --variant=minbase, /usr merged by usr-is-merged as Debian's installer
# merges it) with each PACKAGE, a name or NAME=VERSION, and what it depends
# on. It comes from the Debian archive that this machine's apt sources name,
# else from deb.debian.org, with SUITE's updates and security suites. Run by
# an ordinary user, mmdebstrap works in user namespaces of its own, which
# needs the user's subordinate ids (Debian package uidmap); run by root, in
# a chroot as root. mmdebstrap's messages go to OUT.log, and are shown when
# it fails.
# Usage: tools/make-chroot.sh SUITE OUT PACKAGE...
set -euo pipefail
. "$(dirname "$0")/lib.sh"
[ $# -ge 2 ] || { echo "usage: tools/make-chroot.sh SUITE OUT PACKAGE..." >&2; exit 2; }
suite=$1 out=$2
shift 2
command -v mmdebstrap >/dev/null ||
  { echo "make-chroot: needs mmdebstrap (Debian package mmdebstrap)" >&2; exit 1; }
if [ "$(id -u)" -ne 0 ] && ! grep -qs "^$(id -un):" /etc/subuid; then
  echo "make-chroot: $(id -un) has no subordinate ids in /etc/subuid, which mmdebstrap needs" \
    "to make a chroot without root; as root: usermod --add-subuids 100000-165535" \
    "--add-subgids 100000-165535 $(id -un)" >&2
  exit 1
fi

# The URL of the machine's apt source with that label.
archive() {
  apt-cache policy 2>/dev/null |
    awk -v label="l=$1," '$2 ~ /^https?:/ { url = $2 } index($0, label) && url { print url; exit }'
}
debian=$(archive Debian)
security=$(archive Debian-Security)
sources=("deb ${debian:-http://deb.debian.org/debian} $suite main"
  "deb ${debian:-http://deb.debian.org/debian} $suite-updates main"
  "deb ${security:-http://deb.debian.org/debian-security} $suite-security main")
# An older version than the archive's newest may be asked for where the
# archive still has it, as one of a release's suites may.
trap 'rm -f "$out.partial"' EXIT
if ! attend mmdebstrap --variant=minbase --format=tar --hook-dir=/usr/share/mmdebstrap/hooks/merged-usr \
  --aptopt='APT::Get::allow-downgrades "true"' --include="$(IFS=,; echo "$*")" \
  -- "$suite" "$out.partial" "${sources[@]}" >"$out.log" 2>&1; then
  tail -n 20 "$out.log" >&2
  echo "make-chroot: mmdebstrap could not make the chroot; its messages are in $out.log" >&2
  exit 1
fi
mv "$out.partial" "$out"
rm -f "$out.log"
