# Helpers shared by the release command and the command that checks a
# release, which read what a release holds the same way. Sourced.

# A file name that a release may hold: letters, digits and . _ + - ~, not
# starting with . or -, so that it is never a path, an option or hidden.
plain_name='[A-Za-z0-9_+~][A-Za-z0-9._+~-]*'

# The text on standard input with every byte that is not printable ASCII or
# a line break shown as ?, so that no escape sequence reaches a terminal.
printable() {
  LC_ALL=C tr -c '\n -~' '?'
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
