# Helpers of CI's steps (bash .ci/SCRIPT STEP; doc/ci.md), sourced first: a step stops on
# any failure, and its folder, $work, is removed however it ends.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "${BASH_SOURCE[0]}")/.."
step=${1:?"usage: bash $0 STEP (bash .ci/run --list names the steps)"}
. tools/lib.sh
fail() { echo "$step: $*" >&2; exit 1; }
export CALCULATOR_WARNINGS_AS_ERRORS=ON
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' TERM INT  # through the EXIT trap, when CI ends a step in the background
cache=/var/cache/calculator-ci
needs_root() { [ "$(id -u)" -eq 0 ] || fail "needs root"; }
# Without what they only recommend, so that what CI names is shown to suffice.
install_packages() {
  local missing
  missing=$(missing_packages "$@") && [ -n "$missing" ] || return 0
  needs_root && echo "$step: installing $missing"
  (
    flock 9 && export DEBIAN_FRONTEND=noninteractive
    apt-get -qq install -y --no-install-recommends $missing >/dev/null 2>&1 || {
      apt-get -qq update && apt-get -qq install -y --no-install-recommends $missing; }
  ) 9>/var/lock/calculator-ci-apt.lock
}
install_packages $(packages set-up)
holds() { grep -qF "$2" "$1" || fail "$1 lacks '$2'"; }  # FILE TEXT
doc_command() {  # DOC TEXT: the doc's first line that starts with the text
  local line
  line=$(awk -v start="$2" '{ sub(/^ +/, "") } index($0, start) == 1 { print; exit }' "$1")
  [ -n "$line" ] || fail "$1 lacks a line that starts with '$2'"
  echo "$line"
}
# A bare machine NAME: a minimal Debian SUITE where apt installed the PACKAGES as the docs
# do, kept a day and unpacked anew into $work/NAME. in_machine runs a command there as
# root after pivot_root, not chroot, so that its users may make user namespaces.
preparing=${2-}  # machines: only make them, as .ci/run does in the background
machine() {
  local name=$1 suite=$2 recipe="$2: ${*:3}" tarball=$cache/machines/$1.tar
  shift 2
  needs_root
  install_packages mmdebstrap
  mkdir -p "$cache/machines" "$cache/chroots" && chmod 1777 "$cache/chroots" || exit 1
  (
    flock 8  # one maker of a suite's machines at a time
    fresh() { [ -n "$(find "$1" -mmin -1440 2>/dev/null)" ]; }
    fresh "$cache/machines/$suite.base" ||
      bash tools/make-chroot.sh "$suite" "$cache/machines/$suite.base"
    if [ "$(cat "$tarball.recipe" 2>/dev/null)" != "$recipe" ] || ! fresh "$tarball"; then
      unpack "$cache/machines/$suite.base" "$name"
      in_machine "$name" sh -c 'read -r _ mirror _ </etc/apt/sources.list  # and PACKAGE/SUITE
        for p; do case $p in */*) echo "deb $mirror ${p#*/} main" ;; esac
        done >>/etc/apt/sources.list
        apt-get -qq update && DEBIAN_FRONTEND=noninteractive \
        apt-get -qq -y install "$@" >/dev/null && apt-get clean' - "$@"
      tar -cf "$tarball" -C "$work/$name" .
      echo "$recipe" >"$tarball.recipe"
    fi
  ) 8>"$cache/machines/$suite.lock"
  [ "$preparing" != machines ] || return 0
  unpack "$tarball" "$name" && cp /etc/resolv.conf "$work/$name/etc/resolv.conf" || exit 1
}
unpack() {  # TARBALL NAME
  rm -rf "${work:?}/$2" && mkdir "$work/$2" && tar -xf "$1" -C "$work/$2" || exit 1
  mkdir -p "$work/$2/src" "$work/$2/cache"
}
in_machine() {
  local root=$work/$1
  shift
  unshare --mount --propagation private --pid --fork --kill-child ${uts_name:+--uts} bash -c '
    set -e
    root=$1 cache=$2 uts_name=$3
    shift 3
    [ -z "$uts_name" ] || hostname "$uts_name"
    mount --rbind "$root" "$root" && mount -t proc proc "$root/proc" || exit 1
    mount --rbind /sys "$root/sys" && mount --rbind /dev "$root/dev" || exit 1
    mount --bind -o ro "$PWD" "$root/src" && mount --bind "$cache/chroots" "$root/cache" || exit 1
    cd "$root" && pivot_root . . && umount -l . && cd / || exit 1
    exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"' - \
    "$root" "$cache" "${uts_name-}" "$@"
}
# NAME USER COMMAND..., from the home, with SIGINT as a terminal gives it, even in the
# background; chroots are kept in /cache.
as_user() {
  local name=$1 user=$2
  shift 2
  in_machine "$name" env --default-signal=INT,QUIT runuser -u "$user" -- env -i \
    HOME="/home/$user" SHELL=/bin/bash PATH=/usr/bin:/bin LANG=C.UTF-8 XDG_CACHE_HOME=/cache \
    bash -c 'cd && exec "$@"' - "$@"
}
read -r version _ < <(cmake -P cmake/source.cmake)
dist_is_current() {  # a release of this commit, from a clean tree, that matches SHA256SUMS
  grep -qsx "X-Source-Commit: $(git rev-parse HEAD)" "dist/$(asset_name buildinfo "$version")" &&
    [ -z "$(git status --porcelain)" ] && (cd dist && sha256sum --quiet -c SHA256SUMS)
}
# FILE FOLDER COMMAND...: dist/FILE where dist/ is current, else FOLDER/FILE, made.
find_or_make_asset() {
  local file=$1 folder=$2
  shift 2
  if [ -f "dist/$file" ] && dist_is_current; then
    echo "dist/$file"
  else
    echo "$step: dist/ holds no $file of this commit; making it" >&2
    "$@" >&2 || exit 1
    echo "$folder/$file"
  fi
}
