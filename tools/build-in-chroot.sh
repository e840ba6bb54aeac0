#!/usr/bin/env bash
# Builds a release, contained, in a chroot: the one procedure of the release
# command and of the command that checks a release.
#
# CHROOT, a tarball of a Debian system (tools/make-chroot.sh), is unpacked
# anew into a fresh folder. SOURCE, a tar archive of the calculator's source
# (git archive's, or a release's source tarball), is unpacked there, and its
# tools/build-assets.sh makes the release into /build/out: the source
# tarball, packed anew, then every other asset and the records, from it.
#
# The build runs as the root of a user namespace of its own, which is the
# caller on the host (the user nobody when the caller is root, so that no id
# maps to the host's root), in PID, mount, network, IPC and UTS namespaces of
# its own, in a session of its own with no terminal, its input from
# /dev/null, and the host's files out of reach (pivot_root). Its clock is
# the host's; its environment, time zone (UTC), locale (C.UTF-8) and umask
# (022) are its own. When its first process ends, the kernel ends every
# other, so nothing it started outlives it.
#
# Then, with no process of the build left, the regular files with plain
# names in /build/out are copied into OUT, a new folder; anything else there
# is named and fails the build. The build's output goes to LOG.
# Usage: tools/build-in-chroot.sh CHROOT SOURCE OUT LOG
#        tools/build-in-chroot.sh --probe
#   says whether this machine lets the build be contained, before a caller
#   spends time on what it needs.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
fail() {
  echo "build-in-chroot: $*" >&2
  exit 1
}

# Whoever builds: the caller, or nobody for root.
as_builder=()
[ "$(id -u)" -ne 0 ] ||
  as_builder=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --)
if [ "${1-}" = --probe ] && [ $# -eq 1 ]; then
  "${as_builder[@]}" unshare --user --map-root-user --mount --pid --fork --net \
    sh -c 'mount -t tmpfs tmpfs /mnt && mount -t proc proc /proc' >/dev/null 2>&1 ||
    fail "this machine does not let an unprivileged user's namespaces mount file systems" \
      "(Ubuntu 24.04's AppArmor restricts them: sysctl" \
      "kernel.apparmor_restrict_unprivileged_userns), so a build cannot be contained here," \
      "and none was started"
  exit 0
fi
[ $# -eq 4 ] || { echo "usage: tools/build-in-chroot.sh CHROOT SOURCE OUT LOG | --probe" >&2; exit 2; }
chroot_tarball=$1 source=$2 out=$3 log=$4
# An unpacked chroot is large: it goes where large temporary files do.
work=$(mktemp -d "${TMPDIR:-/var/tmp}/calculator-build.XXXXXX")
[ "$(id -u)" -ne 0 ] || chown 65534:65534 "$work"
"${as_builder[@]}" test -w "$work" ||
  fail "the user nobody, who builds for root, cannot write in $work;" \
    "set TMPDIR to a folder that all may enter"
# Removed by the builder in a user namespace, where it may remove whatever
# the build left, unreadable folders included.
trap '"${as_builder[@]}" unshare --user --map-root-user rm -rf "$work" 2>/dev/null ||
  rm -rf "$work"' EXIT
root=$work/root

# In the namespaces, as their root: unpack, mount what a build needs, and
# make the chroot the root of the mount namespace, with the host's files
# unmounted from it. The two tarballs come as standard input and as
# descriptor 3, which are closed before the build starts.
inside='
set -e
root=$1 compression=$2
PATH=/usr/sbin:/usr/bin:/sbin:/bin
for fd in /proc/self/fd/*; do
  fd=${fd##*/}
  [ "$fd" -le 3 ] || eval "exec $fd>&-" 2>/dev/null || true
done
mkdir "$root"
tar -x $compression -C "$root" --no-same-owner --exclude="./dev/*" --exclude="dev/*" -f - <&0
rm -rf "$root/tmp" "$root/var/tmp" "$root/build"
mkdir -m 1777 "$root/tmp" "$root/var/tmp"
mkdir -p "$root/build/out" "$root/build/home" "$root/dev/shm"
cat <&3 >"$root/build/source.tar"
exec 0</dev/null 3<&-
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
for device in null zero full random urandom; do
  touch "$root/dev/$device"
  mount --bind "/dev/$device" "$root/dev/$device"
done
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"
hostname calculator-build
cd "$root"
mkdir .host
pivot_root . .host
exec /usr/sbin/chroot . /bin/sh -c "umount -l /.host && rmdir /.host && exec \"\$@\"" - \
  setsid --wait env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/build/home TZ=UTC LC_ALL=C.UTF-8 \
  bash -c "umask 022 && cd /build && mkdir source && tar -xf source.tar -C source &&
    bash source/*/tools/build-assets.sh out"
'
# The chroot's tarball, which tar reads from standard input, compressed as
# mmdebstrap compresses by the name it is given.
case $(head -c 4 -- "$chroot_tarball" | od -A n -t x1 | tr -d ' \n') in
  1f8b*) compression=--gzip ;;
  fd377a58) compression=--xz ;;
  28b52ffd) compression=--zstd ;;
  425a68*) compression=--bzip2 ;;
  *) compression="" ;;
esac
status=0
"${as_builder[@]}" unshare --user --map-root-user --mount --propagation private --pid --fork \
  --kill-child --net --ipc --uts bash -c "$inside" - "$root" "$compression" \
  <"$chroot_tarball" 3<"$source" >"$log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the build failed (status $status); its log is $log"

# Every process of the build has ended: nothing changes what is read now.
results=$root/build/out
[ -d "$results" ] && [ ! -L "$root/build" ] && [ ! -L "$results" ] ||
  fail "the build left no folder build/out"
made=() refused=()
while IFS= read -r -d '' entry; do
  name=${entry#"$results"/}
  if [ -f "$entry" ] && [ ! -L "$entry" ] && [[ $name =~ ^$plain_name$ ]]; then
    made+=("$name")
  else
    refused+=("$(printf '%s (%s)' "$name" "$(stat -c %F -- "$entry")" | printable)")
  fi
done < <(find "$results" -mindepth 1 -maxdepth 1 -print0)
if [ ${#refused[@]} -gt 0 ]; then
  printf 'build-in-chroot: the build made what is not a plain file: %s\n' "${refused[@]}" >&2
  exit 1
fi
mkdir "$out"
for name in ${made[@]+"${made[@]}"}; do
  cp -- "$results/$name" "$out/$name"
done
