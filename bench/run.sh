#!/usr/bin/env bash
# Measures the calculator on piped input: expressions per second, microseconds
# per expression and peak resident memory for batches of 1,000 and 1,000,000
# expressions, and the start-up cost of a run that evaluates one expression,
# and of one on empty input beside bc's, where bc is installed.
# Usage: bench/run.sh [CALCULATOR]   (default: build/calculator)
# Needs GNU time as /usr/bin/time (Debian package time) for the peak memory.
set -euo pipefail
calculator=${1:-build/calculator}
if [ ! -x "$calculator" ] || [ -d "$calculator" ]; then
  echo "bench/run.sh: no calculator at $calculator: build it first, or name it" >&2
  exit 1
fi
if ! /usr/bin/time -f %M true >/dev/null 2>&1; then
  echo "bench/run.sh: needs GNU time as /usr/bin/time (Debian package time)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# N expressions, every one answered y but the last, answered n.
write_batch() {
  awk -v n="$1" 'BEGIN {
    for (i = 1; i < n; i++) printf "%d.25 * %d\ny\n", i, i % 97 + 1
    printf "1 / 3\nn\n"
  }' >"$work/in"
}

# Wall-clock seconds of the fastest of REPEAT runs on $work/in, output discarded.
fastest_run() {
  local best=""
  for ((run = 0; run < $1; run++)); do
    local start=$EPOCHREALTIME
    "$calculator" <"$work/in" >/dev/null
    local took
    took=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f", b - a }')
    if [ -z "$best" ] || awk -v t="$took" -v b="$best" 'BEGIN { exit !(t < b) }'; then
      best=$took
    fi
  done
  echo "$best"
}

peak_kib() {
  /usr/bin/time -f %M -o "$work/peak" "$calculator" <"$work/in" >/dev/null
  cat "$work/peak"
}

echo "calculator: $calculator"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
printf '%12s %16s %14s %12s\n' expressions "expressions/s" "us/expression" "peak KiB"
for n in 1000 1000000; do
  write_batch "$n"
  repeats=$((n > 1000 ? 3 : 20))
  seconds=$(fastest_run "$repeats")
  awk -v n="$n" -v s="$seconds" -v p="$(peak_kib)" \
    'BEGIN { printf "%12d %16.0f %14.3f %12d\n", n, n / s, s * 1e6 / n, p }'
done

# Prints the mean microseconds of a run of each command (its words in one
# argument) on $work/in, output discarded, over 300 rounds in which each
# command runs once in turn, so that the machine's drift falls on all alike.
mean_runs() {
  local -a total=()
  local round i start
  for ((round = 0; round < 300; round++)); do
    for ((i = 1; i <= $#; i++)); do
      start=${EPOCHREALTIME/[.,]/}
      ${!i} <"$work/in" >/dev/null
      total[i]=$((${total[i]:-0} + ${EPOCHREALTIME/[.,]/} - start))
    done
  done
  for ((i = 1; i <= $#; i++)); do
    printf '  %s: %d us\n' "${!i}" $((total[i] / 300))
  done
}

echo "start-up, one expression then n (mean of 300 runs):"
printf '1 + 1\nn\n' >"$work/in"
mean_runs "$calculator"
echo "start-up, empty input (mean of 300 runs, in turns with bc for comparison):"
: >"$work/in"
if command -v bc >/dev/null; then
  mean_runs "$calculator" "bc -q"
else
  mean_runs "$calculator"
  echo "  bc is not installed (Debian package bc): no comparison"
fi
