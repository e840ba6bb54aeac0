# Helpers of the release and verify commands and of what they run in the chroot. Sourced.
plain_name='[A-Za-z0-9_+~][A-Za-z0-9._+~-]*'  # never a path, an option or hidden
facts_file=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../facts.txt")  # before any cd
facts() {  # KIND: its rows, each its fields less the kind
  awk -v kind="$1" '$1 == kind { $1 = ""; print substr($0, 2) }' "$facts_file"
}
packages() { facts packages | awk -v p="$1" '$1 == p { $1 = ""; print substr($0, 2) }' | xargs; }
asset_name() {  # KIND NAME [MACHINE]
  facts asset | awk -v kind="$1" -v name="$2" -v machine="${3-}" '$1 == kind {
    gsub(/VERSION/, name, $2); gsub(/MACHINE/, machine, $2); print $2 }'
}
# Downloaded or built text as one line that cannot pass for the command's own, nor
# reach a terminal as an escape sequence.
printable() { printf '%s' "$1" | LC_ALL=C tr -c ' -~' '?'; }
excerpt() {
  tail -c 4096 -- "$1" | LC_ALL=C tr -c '\n -~' '?' | tail -n 20 | cut -c 1-160 | sed 's/^/    /'
}
# git where only the commit and the clone decide what it writes.
git_alone() {
  local variable unset=()
  for variable in $(compgen -e); do
    [[ $variable != GIT_* ]] || unset+=(-u "$variable")
  done
  env ${unset[@]+"${unset[@]}"} GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null \
    git -c core.attributesFile=/dev/null "$@"
}
refuse_archive_settings() {
  local settings attributes
  settings=$(git_alone config --local --includes --name-only --list |
    grep -iE '^(core\.(autocrlf|eol|checkroundtripencoding)|filter\.|tar\.|i18n\.)' || true)
  [ -z "$settings" ] || fail "the clone's git settings change what git archive writes:" \
    "$(echo $settings); remove them (git config --local --unset NAME)"
  attributes=$(git_alone rev-parse --git-path info/attributes)
  ! grep -qsv -e '^[[:space:]]*$' -e '^[[:space:]]*#' "$attributes" ||
    fail "$attributes gives files attributes that change what git archive writes; empty it"
}
# VERSION ID SUBJECT; cmake/source.cmake writes this rule too, and lint compares them.
release_name() {
  if [ "$3" = "Release $1" ]; then echo "$1"
  elif [ -z "$2" ]; then echo "$1~dev"
  else echo "$1~dev+git.${2:0:7}"
  fi
}
release_name_of() {  # COMMIT
  release_name "$(git_alone show "$1:cmake/source.cmake" |
    sed -n 's/^set(calculator_version \([0-9.]*\))$/\1/p')" "$1" \
    "$(git_alone log -1 --format=%s "$1")"
}
# Only sha256sum's own form, a plain name a line, each once: no path, no other form.
refuse_odd_sums() {
  local bad
  [ "$(stat -c %s -- "$1")" -le 65536 ] || fail "$2 is larger than 65536 bytes, the limit"
  bad=$(LC_ALL=C grep -anvxE "[0-9a-f]{64}  $plain_name" "$1" | head -n 5 || true)
  [ -z "$bad" ] || fail "$2 has lines other than 'SHA256  NAME' with a plain name:$(
    while IFS= read -r line; do printf '\n  %s' "$(printable "$line")"; done <<<"$bad")"
  [ -s "$1" ] && [ "$(tail -c 1 -- "$1" | od -A n -t x1)" = " 0a" ] ||
    fail "$2 is empty or does not end its last line"
  bad=$(cut -c 67- -- "$1" | LC_ALL=C sort | uniq -d | xargs)
  [ -z "$bad" ] || fail "$2 lists $bad more than once"
  ! cut -c 67- -- "$1" | grep -qx SHA256SUMS || fail "$2 lists itself"
}
# A kept chroot's name: RELEASE ARCH NAME=VERSION...
chroot_key() {
  { printf '%s\n' "$1" "$2"; printf '%s\n' "${@:3}" | LC_ALL=C sort; } | sha256sum | cut -c 1-16
}
chroots=${XDG_CACHE_HOME:-$HOME/.cache}/calculator-rebuild
chroot_packages() {  # TARBALL SCRATCH: what its dpkg database holds, NAME=VERSION, sorted
  mkdir -p "$2/dpkg"
  { tar -xOf "$1" ./var/lib/dpkg/status || tar -xOf "$1" var/lib/dpkg/status; } \
    >"$2/dpkg/status" 2>/dev/null ||
    fail "$(printable "$1") holds no dpkg database, var/lib/dpkg/status"
  dpkg-query --admindir="$2/dpkg" -W -f '${db:Status-Abbrev} ${Package}=${Version}\n' |
    awk '$1 == "ii" { print $2 }' | LC_ALL=C sort
}
# A build runs as one, that no other process of the machine shares; so does mmdebstrap.
no_subordinate_ids() {
  fail "$(id -un) has no subordinate ids in $1. As root: usermod --add-subuids FIRST-LAST" \
    "--add-subgids FIRST-LAST $(id -un), with a range of 65536 ids that no other user has"
}
# A command in the background, so that a signal is taken at once; a background command
# ignores SIGINT, so on_signal ends it by SIGTERM before the EXIT trap cleans up.
child=""
exec {stopped}>&2
attend() {
  local status=0
  "$@" & child=$!
  wait "$child" || status=$?
  child="" && return "$status"
}
on_signal() {
  trap '' INT TERM HUP
  [ -z "$child" ] || { kill -TERM "$child"; wait "$child"; } 2>/dev/null || true
  echo "${0##*/}: stopped by SIG$1; all it started has ended" >&"$stopped"
  exit "$2"
}
trap 'on_signal INT 130' INT && trap 'on_signal TERM 143' TERM && trap 'on_signal HUP 129' HUP
missing_packages() {
  local package
  for package in "$@"; do
    dpkg-query -W -f '${db:Status-Abbrev}' "$package" 2>/dev/null | grep -q '^ii' || echo "$package"
  done | xargs
}
needs() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] || fail "needs the Debian packages $missing: apt install $missing"
}
