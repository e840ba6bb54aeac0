#!/usr/bin/env bash
# Builds, tests and packs the portable calculator for one Debian architecture
# of cmake/architectures: calculator-VERSION-linux-MACHINE.tar.gz in
# build-portable-ARCH, statically linked and hardened, from the
# architecture's preset with the calculator's CALCULATOR_PORTABLE and
# CALCULATOR_HARDENED options. CPack gives the archive the commit's time
# (cmake/source-commit.cmake), or SOURCE_DATE_EPOCH's.
# Usage: cmake/portable.sh ARCH
set -euo pipefail
cd "$(dirname "$0")/.."

read -r _ preset machine _ < <(awk -v arch="${1-}" '!/^#/ && $1 == arch' cmake/architectures) || true
if [ $# -ne 1 ] || [ -z "${preset-}" ]; then
  echo "usage: cmake/portable.sh ARCH, where ARCH is one of:" \
    "$(awk '!/^#/ { print $1 }' cmake/architectures | xargs)" >&2
  exit 2
fi

build=build-portable-$1
cmake --preset "$preset" -B "$build" -DCALCULATOR_PORTABLE="$machine" -DCALCULATOR_HARDENED=ON
cmake --build "$build"
(cd "$build" && ctest --output-on-failure --parallel 2 && cpack)
