# Helpers shared by the steps of CI, each a script in this folder that runs
# alone from the top of the checkout, given its step's name: bash .ci/SCRIPT
# NAME. Sourced first by each; it stops the step on any failure, and gives
# it a temporary folder, $work, removed however the step ends.
set -euo pipefail
shopt -s inherit_errexit  # in $(...) too
cd "$(dirname "${BASH_SOURCE[0]}")/.."
step=${1:?"usage: bash $0 STEP (bash .ci/run --list names the steps)"}
export CALCULATOR_WARNINGS_AS_ERRORS=ON
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' TERM INT  # through the EXIT trap, when CI ends a step in the background

needs_root() {
  [ "$(id -u)" -eq 0 ] || { echo "$step needs root" >&2; exit 1; }
}

# Installs the packages that are not installed, waiting while another step
# installs; tries apt's package lists as they are, then brought up to date.
# Without what they only recommend: CI proves that what it names suffices.
install_packages() {
  local package missing=()
  for package in "$@"; do
    dpkg-query -W -f '${Status}' "$package" 2>/dev/null | grep -q ' installed$' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  [ "$(id -u)" -eq 0 ] || { echo "$step needs root to install ${missing[*]}" >&2; exit 1; }
  echo "$step: installing ${missing[*]}"
  (
    flock 9  # one step at a time
    export DEBIAN_FRONTEND=noninteractive
    apt-get -qq install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1 || {
      apt-get -qq update
      apt-get -qq install -y --no-install-recommends "${missing[@]}"
    }
  ) 9>/var/lock/calculator-ci-apt.lock
}

# Installs the package of each pair COMMAND-OR-FILE:PACKAGE whose command or
# file the machine lacks.
install_missing() {
  local pair missing=()
  for pair in "$@"; do
    [ -e "${pair%%:*}" ] || command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
  done
  install_packages ${missing[@]+"${missing[@]}"}
}
# What every build needs.
install_missing cmake:cmake ninja:ninja-build g++:g++ /usr/include/gtest/gtest.h:libgtest-dev

# Fails unless the file names the text.
holds() {
  grep -qF "$2" "$1" || { echo "$1 lacks '$2'" >&2; return 1; }
}

# The rows of cmake/architectures.cmake.
architectures() {
  cmake -P cmake/architectures.cmake
}

read -r version _ < <(cmake -P cmake/source.cmake)

# The packages that a section of the README installs with `apt install`.
readme_packages() {
  awk -v section="## $1" '/^## / { inside = ($0 == section) } inside && sub(/^apt install /, "")' \
    README.md
}

# The README's first command line that starts with the text.
readme_command() {
  local line
  line=$(awk -v start="$1" 'index($0, start) == 1 { print; exit }' README.md)
  [ -n "$line" ] || { echo "README.md lacks a line that starts with '$1'" >&2; exit 1; }
  echo "$line"
}

# The chroot that the release step builds in and the rebuild step checks
# with, made once from one fetch of Debian's archive, so that the two never
# see different versions: kept, and made anew when the release's packages
# change or it is a day old.
shared_chroot=/var/cache/calculator-ci/release-chroot.tar
make_shared_chroot() {
  local recipe
  recipe=$(bash tools/release.sh --packages)
  if [ "$(cat "$shared_chroot.recipe" 2>/dev/null)" = "$recipe" ] &&
    [ -n "$(find "$shared_chroot" -mmin -1440 2>/dev/null)" ]; then
    echo "$step: the release's chroot, made $(date -r "$shared_chroot" '+%F %R'), is $shared_chroot"
    return
  fi
  needs_root
  install_packages mmdebstrap
  echo "$step: making the release's chroot in $shared_chroot"
  mkdir -p "${shared_chroot%/*}"
  rm -f "$shared_chroot" "$shared_chroot.recipe"
  bash tools/release.sh --make-chroot "$shared_chroot"
  echo "$recipe" >"$shared_chroot.recipe"
}

# Whether dist/ holds a release of this commit, from a clean tree, built in
# the shared chroot as it is, whose files match SHA256SUMS.
dist_is_current() {
  grep -qsx "X-Source-Commit: $(git rev-parse HEAD)" "dist/calculator_${version}_amd64.buildinfo" &&
    [ -z "$(git status --porcelain)" ] && [ dist/SHA256SUMS -nt "$shared_chroot" ] &&
    (cd dist && sha256sum --quiet -c SHA256SUMS)
}

# A build runs as its caller's subordinate ids, and Debian gives root none:
# a range beyond those that useradd gives.
give_root_subordinate_ids() {
  grep -qs '^root:' /etc/subuid ||
    usermod --add-subuids 1879048192-1879113727 --add-subgids 1879048192-1879113727 root
}

# The README's release command, run as CI runs it: on any commit, under its
# development name, in the shared chroot. Further options follow.
release() {
  local command
  command="$(readme_command tools/release.sh) --development --chroot $shared_chroot"
  make_shared_chroot
  give_root_subordinate_ids
  echo "+ $command $*"
  bash -c "$command $*"
}

# The path of the release's asset FILE: in dist/, where the release step
# puts it, when that is a release of this commit; or else in FOLDER, made
# there by the command that follows.
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
