#!/usr/bin/env bash
# Builds, tests and packs the portable calculator for one Debian architecture:
# calculator-VERSION-linux-MACHINE.tar.gz in build-portable-ARCH, statically
# linked, from the architecture's preset with the calculator's
# CALCULATOR_PORTABLE option. Without SOURCE_DATE_EPOCH in a git checkout,
# the archive's times are those of the last commit, so that rebuilds agree.
# Usage: cmake/portable.sh ARCH
set -euo pipefail
cd "$(dirname "$0")/.."

# The Debian architecture, its preset, and its machine as `uname -m` names
# it, where that name tells the archives apart.
architectures=(
  "amd64    default  x86_64"
  "arm64    arm64    aarch64"
  "armhf    armhf    armv7"
  "armel    armel    armv5te"
  "ppc64el  ppc64el  ppc64le"
  "s390x    s390x    s390x"
  "riscv64  riscv64  riscv64"
  "mips64el mips64el mips64el"
  "mipsel   mipsel   mipsel"
  "i386     i386     i686"
)

preset="" machine=""
for row in "${architectures[@]}"; do
  read -r name row_preset row_machine <<<"$row"
  if [ "$name" = "${1-}" ]; then
    preset=$row_preset machine=$row_machine
  fi
done
if [ $# -ne 1 ] || [ -z "$preset" ]; then
  echo "usage: cmake/portable.sh ARCH, where ARCH is one of:" \
    "$(printf '%s\n' "${architectures[@]}" | awk '{ print $1 }' | xargs)" >&2
  exit 2
fi

if [ -z "${SOURCE_DATE_EPOCH-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

build=build-portable-$1
cmake --preset "$preset" -B "$build" -DCALCULATOR_PORTABLE="$machine"
cmake --build "$build"
(cd "$build" && ctest --output-on-failure --parallel 2 && cpack)
