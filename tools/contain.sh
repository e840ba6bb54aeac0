#!/usr/bin/env bash
# Contains whatever builds a release or reads a downloaded one, as a subordinate id of
# its own within limits; doc/verifying.md says how and why. Usage: see the end.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
fail() { echo "contain: $*" >&2; exit 1; }
# In MiB; a process's data limit, as qemu-user and Wine reserve more than they use.
build_time=900 build_memory=4096 build_processes=512 build_disk=4096 build_file=1024
build_log=64 build_outputs=64 build_output_size=64
run_time=300 run_memory=1024 run_processes=64 run_disk=1024 run_output=16 run_errors=1
# The last of the caller's first subordinate ids, which no other user is given.
subordinate_id() {
  awk -F: -v name="$(id -un)" -v id="$(id -u)" '$1 == name || $1 == id { print $2 + $3 - 1
    found = 1; exit } END { exit !found }' "$1" || no_subordinate_ids "$1"
}
# Runs this script's inside part as the builder, in namespaces of its own, for at most
# SECONDS; past the output's or the memory's limit, everything it started ends.
launch() {
  local seconds=$1 readers status=0 watched=0 fifo
  shift
  fifo=$(mktemp -u "$tmp/fifo.XXXXXX")
  mkfifo "$fifo.out" "$fifo.err"
  timeout --signal=KILL "$seconds" unshare --map-users="$uid,0,1" --map-groups="$gid,0,1" \
    --setuid 0 --setgid 0 --mount --propagation private --pid --fork --kill-child --net --ipc \
    --uts bash "$0" inside "$@" <&0 >"$fifo.out" 2>"$fifo.err" &
  launcher=$!
  { head -c $((output_limit << 20)) >&"$output"
    [ "$(head -c 1 | wc -c)" -eq 0 ] || { : >"$fifo.over"; kill -KILL -- -"$launcher" 2>/dev/null; }
  } <"$fifo.out" &
  readers=$!
  { head -c $((errors_limit << 20)) >&"$errors"; cat >/dev/null; } <"$fifo.err" &
  readers="$readers $!"
  setsid bash -c 'while sleep 1; do
      { cat /proc/[0-9]*/status 2>/dev/null || true; } | awk -v uid="$1" -v limit="$2" "
        /^Uid:/ { mine = \$2 == uid } /^VmRSS:/ && mine { kib += \$2 } END { exit kib > limit }" ||
        { kill -KILL -- -"$3" 2>/dev/null; exit 3; }
    done' - "$uid" $((memory << 10)) "$launcher" &
  watcher=$!
  wait "$launcher" 2>/dev/null || status=$?
  kill -KILL -- -"$watcher" 2>/dev/null || true
  wait $readers 2>/dev/null || true
  wait "$watcher" 2>/dev/null || watched=$?
  if [ "$watched" -eq 3 ]; then reason="its processes passed the memory limit of $memory MiB"
  elif [ -e "$fifo.over" ]; then reason="its $what passed the limit of $output_limit MiB"
  elif [ "$status" -eq 137 ]; then reason="it passed its time limit of $seconds s"
  fi
  launcher="" watcher="" && return "$status"
}
clean_up() {
  trap '' INT TERM HUP
  [ -z "$launcher" ] || { kill -KILL -- -"$launcher"; wait "$launcher"; } 2>/dev/null || true
  [ -z "$watcher" ] || kill -KILL -- -"$watcher" 2>/dev/null || true
  if [ -n "$sandbox" ]; then
    exec {output}>/dev/null {errors}>/dev/null && memory=$run_memory
    launch 600 remove "$sandbox" || echo "contain: could not remove $sandbox" >&2
  fi
  rm -rf "$tmp"
}
# Inside: COMMAND without capabilities, in PID and mount namespaces that end with it.
limits() { echo "ulimit -d $(($1 << 10)) -u $2 -f $(($3 << 10)) -c 0"; }
enter() {
  local root=$1 environment=$2
  shift 2
  unshare --mount --pid --fork --kill-child bash -c '
    set -e
    mount -t proc proc "$1/proc" && cd "$1" && pivot_root . . && umount -l . && cd / || exit 1
    exec setpriv --bounding-set=-all --inh-caps=-all --no-new-privs -- setsid \
      env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 $2 bash -c "$3 && exec \"\$@\"" - \
      "${@:4}"' - "$root" "$environment" "$@" </dev/null 4>&-
}
devices() {
  local device n=0
  for device in null zero full random urandom; do
    touch "$1/dev/$device" && mount --bind "/dev/$device" "$1/dev/$device" || exit 1
  done
  ln -s /proc/self/fd "$1/dev/fd"
  for device in stdin stdout stderr; do ln -s "/proc/self/fd/$((n++))" "$1/dev/$device"; done
}
# The chroot on standard input, read-only; the source on descriptor 3; the verdict to 4.
full() { [ $(($(stat -f -c '%a * %S' "$1") >> 20)) -lt 1 ] || [ "$(stat -f -c %d "$1")" -lt 16 ]; }
inside_build() {
  local sandbox=$1 compression=$2 results=scratch/build/out entry name count=0 status=0 build
  umask 022  # the caller reads what it leaves
  mkdir "$sandbox" && cd "$sandbox" && mkdir root scratch out || exit 1
  tar -x $compression -C root --no-same-owner --exclude=./dev/* --exclude=dev/* -f -
  exec 0</dev/null
  rm -rf root/build
  mkdir -p root/build root/dev/shm root/tmp root/var/tmp
  mount -t tmpfs -o size=${build_disk}m,mode=755 tmpfs scratch
  mkdir -m 1777 scratch/tmp scratch/var-tmp scratch/shm
  mkdir -p scratch/build/out scratch/build/home
  cat <&3 >scratch/build/source.tar && exec 3<&- || exit 1
  mount --bind root root && devices root && mount -o remount,bind,ro root || exit 1
  for folder in build:build tmp:tmp var-tmp:var/tmp shm:dev/shm; do
    mount --bind "scratch/${folder%:*}" "root/${folder#*:}"
  done
  hostname calculator-build
  enter "$sandbox/root" "HOME=/build/home TZ=UTC" \
    "$(limits "$build_memory" "$build_processes" "$build_file") && umask 022 && cd /build &&
      mkdir source && tar -xf source.tar -C source" bash -c '
        for step in source/*/tools/chroot/build-assets.sh source/*/tools/build-assets.sh; do
          [ ! -f "$step" ] || exec bash "$step" out  # the latter, releases before 1.7.0
        done' \
    2>&1 &
  build=$!
  # A build that fills its disk would only fail or wait.
  while sleep 1; do ! full scratch || { kill -KILL "$build"; exit; }; done &
  wait "$build" || status=$?
  kill -KILL $! 2>/dev/null || true
  ! full scratch || { echo "it filled its disk limit of $build_disk MiB" >&4; return 1; }
  [ "$status" -eq 0 ] || { echo "it failed (status $status)" >&4; return 1; }
  [ -d "$results" ] && [ ! -L "$results" ] || { echo "it left no folder build/out" >&4; return 1; }
  while IFS= read -r -d '' entry; do
    name=${entry#"$results"/}
    count=$((count + 1))
    if [ "$count" -gt "$build_outputs" ]; then
      echo "it made more than $build_outputs files, the limit" >&4 && return 1
    elif [ ! -f "$entry" ] || [ -L "$entry" ]; then
      echo "it made what is not a plain file: $(printable "$name") ($(stat -c %F -- "$entry"))" >&4
    elif ! [[ $name =~ ^$plain_name$ ]]; then
      echo "it made a file whose name is refused, as it is not a plain name:" \
        "$(printable "$name")" >&4
    elif [ "$(stat -c %s -- "$entry")" -gt $((build_output_size << 20)) ]; then
      echo "it made $name, larger than the limit of $build_output_size MiB" >&4
    else
      cp -- "$entry" "out/$name" && continue
    fi
    status=1
  done < <(find "$results" -mindepth 1 -maxdepth 1 -print0)
  return "$status"
}
# COMMAND on the host's /usr and /etc, read-only, with each NAME=FD copied into /in.
inside_run() {
  local input link
  mount -t tmpfs -o size=${run_disk}m,mode=755 tmpfs /mnt
  mkdir /mnt/usr /mnt/etc /mnt/proc /mnt/dev /mnt/tmp /mnt/in
  for link in bin lib lib64 sbin; do
    if [ -L "/$link" ]; then
      ln -s "$(readlink "/$link")" "/mnt/$link"
    elif [ -d "/$link" ]; then
      mkdir "/mnt/$link" && mount --rbind -o ro "/$link" "/mnt/$link" || exit 1
    fi
  done
  mount --rbind -o ro /usr /mnt/usr && mount --rbind -o ro /etc /mnt/etc || exit 1
  chmod 1777 /mnt/tmp && devices /mnt || exit 1
  for input; do
    [ "$input" != -- ] || break
    cat <&"${input#*=}" >"/mnt/in/${input%%=*}" && eval "exec ${input#*=}<&-" && shift || exit 1
  done
  shift
  enter /mnt "HOME=/tmp TMPDIR=/tmp" \
    "$(limits "$run_memory" "$run_processes" "$run_disk") && cd /in" "$@"
}
inside_remove() { rm -rf -- "$1"; }  # the sandbox, which the builder owns
mode=${1-} && shift || true
[ "$mode" != inside ] || { PATH=/usr/sbin:/usr/bin:/sbin:/bin "inside_$1" "${@:2}"; exit; }
uid=$(subordinate_id /etc/subuid) gid=$(subordinate_id /etc/subgid) tmp=$(mktemp -d)
launcher="" watcher="" sandbox="" reason="" what=output
trap clean_up EXIT
trap 'exit 130' INT && trap 'exit 143' TERM && trap 'exit 129' HUP
time_limit="" output_limit=$run_output errors=2 errors_limit=$run_errors inputs=()
while [ $# -gt 0 ]; do
  case $1 in
    --time) time_limit=${2:?--time needs a value}; shift 2 ;;
    --output) output_limit=${2:?--output needs a value}; shift 2 ;;
    --errors) exec {errors}>"${2:?--errors needs a value}"; shift 2 ;;
    --in) inputs+=("${2:?--in needs a value}"); shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
case $mode in
  --probe)
    exec {output}>/dev/null {errors}>"$tmp/probe" && memory=$run_memory
    launch 60 run -- true ||
      fail "this machine does not let a build be contained, so none was started:" \
        "$(printable "$(tail -c 300 "$tmp/probe")")" \
        "(it needs user namespaces that may mount, which Ubuntu 24.04's AppArmor restricts:" \
        "sysctl kernel.apparmor_restrict_unprivileged_userns)"
    ;;
  build)
    [ $# -eq 4 ] || fail "usage: tools/contain.sh build [--time SECONDS] CHROOT SOURCE OUT LOG"
    chroot=$1 source=$2 out=$3 log=$4  # GNU tar does not detect compression on standard input
    sandbox=$(mktemp -u "${TMPDIR:-/var/tmp}/calculator-build.XXXXXXXX")
    case $(head -c 4 -- "$chroot" | od -A n -t x1 | tr -d ' \n') in
      1f8b*) compression=--gzip ;; fd377a58) compression=--xz ;; 28b52ffd) compression=--zstd ;;
      *) compression="" ;;
    esac
    exec {output}>"$log" {errors}>"$tmp/errors"
    output_limit=$build_log memory=$build_memory what=log status=0
    launch "${time_limit:-$build_time}" build "$sandbox" "$compression" <"$chroot" \
      3<"$source" 4>"$tmp/verdict" || status=$?
    if [ -n "$reason" ] || [ "$status" -ne 0 ]; then
      [ -n "$reason" ] || [ -s "$tmp/verdict" ] ||
        reason="it could not start ($status): $(printable "$(tail -c 300 "$tmp/errors")")"
      echo "contain: the build was stopped: ${reason:-$(head -n 1 "$tmp/verdict")}" >&2
      tail -n +2 "$tmp/verdict" | sed 's/^/contain:   /' >&2
      fail "what it made is removed; its log: $log"
    fi
    mkdir "$out"
    find "$sandbox/out" -mindepth 1 -maxdepth 1 -type f -exec cp -t "$out" -- {} +
    ;;
  run)
    [ $# -gt 0 ] || fail "usage: tools/contain.sh run [--time SECONDS] [--output MIB]" \
      "[--errors FILE] [--in NAME=FILE]... -- COMMAND..."
    arguments=()
    for input in ${inputs[@]+"${inputs[@]}"}; do
      exec {fd}<"${input#*=}" && arguments+=("${input%%=*}=$fd") || exit 1
    done
    output=1 memory=$run_memory status=0
    launch "${time_limit:-$run_time}" run ${arguments[@]+"${arguments[@]}"} -- "$@" || status=$?
    [ -z "$reason" ] || fail "$(printable "$1") was stopped: $reason"
    exit "$status"
    ;;
  *) fail "usage: tools/contain.sh build | run | --probe" ;;
esac
