# Helpers shared by the release command and the command that checks a
# release, which read what a release holds the same way. Sourced.

# A file name that a release may hold: letters, digits and . _ + - ~, not
# starting with . or -, so that it is never a path, an option or hidden.
plain_name='[A-Za-z0-9_+~][A-Za-z0-9._+~-]*'

# Downloaded or built text as one line, each byte that is not printable
# ASCII shown as ?, line breaks too: no escape sequence reaches a terminal,
# and no item looks like a line of the command's own.
printable() {
  printf '%s' "$1" | LC_ALL=C tr -c ' -~' '?'
}

# The last lines of a log, each cut short, made printable and indented.
excerpt() {
  tail -c 4096 -- "$1" | LC_ALL=C tr -c '\n -~' '?' | tail -n 20 | cut -c 1-160 | sed 's/^/    /'
}

# git without the user's and the system's settings, and without the
# variables that point it elsewhere, so that only the commit and the clone
# decide what it writes.
git_alone() {
  local variable unset=()
  for variable in $(compgen -e); do
    [[ $variable != GIT_* ]] || unset+=(-u "$variable")
  done
  env ${unset[@]+"${unset[@]}"} GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null \
    git -c core.attributesFile=/dev/null "$@"
}

# The name of the release that a commit of this repository builds, as
# cmake/source.cmake names it: X.Y.Z on the commit titled "Release X.Y.Z",
# X.Y.Z~dev+git.ID7 on any other.
release_name_of() {
  local commit=$1 version subject
  version=$(git_alone show "$commit:cmake/source.cmake" |
    sed -n 's/^set(calculator_version \([0-9.]*\))$/\1/p')
  subject=$(git_alone log -1 --format=%s "$commit")
  if [ "$subject" = "Release $version" ]; then
    echo "$version"
  else
    echo "$version~dev+git.${commit:0:7}"
  fi
}

# Writes DIR/SHA256SUMS: the checksum of every other file in DIR, in C order.
write_sums() {
  local sums
  sums=$(cd "$1" && LC_ALL=C find . -mindepth 1 -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' |
    LC_ALL=C sort | xargs -r -d '\n' sha256sum --)
  printf '%s\n' "$sums" >"$1/SHA256SUMS"
}

# Fails, naming them, where the clone's settings would change what git
# archive writes of a commit.
refuse_archive_settings() {
  local settings attributes
  settings=$(git_alone config --local --includes --name-only --list |
    grep -iE '^(core\.(autocrlf|eol|checkroundtripencoding)|filter\.|tar\.|i18n\.)' || true)
  [ -z "$settings" ] || fail "the clone's git settings change what git archive writes:" \
    "$(echo $settings); remove them (git config --local --unset NAME)"
  attributes=$(git_alone rev-parse --git-path info/attributes)
  if grep -qsv -e '^[[:space:]]*$' -e '^[[:space:]]*#' "$attributes"; then
    fail "$attributes gives files attributes that change what git archive writes; empty it"
  fi
}

# Runs a command in the background and waits for it, so that a signal to the
# script is taken at once: the command is then ended (by SIGTERM, as a
# background command ignores SIGINT) and waited for, before the script's own
# EXIT trap cleans up.
child=""
exec {stopped}>&2  # where on_signal says so, wherever the command's errors went
attend() {
  local status=0
  "$@" &
  child=$!
  wait "$child" || status=$?
  child=""
  return "$status"
}
on_signal() {
  trap '' INT TERM HUP
  if [ -n "$child" ]; then
    kill -TERM "$child" 2>/dev/null || true
    wait "$child" 2>/dev/null || true
  fi
  echo "${0##*/}: stopped by SIG$1; all it started has ended" >&"$stopped"
  exit "$2"
}
trap 'on_signal INT 130' INT
trap 'on_signal TERM 143' TERM
trap 'on_signal HUP 129' HUP
