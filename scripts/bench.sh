#!/usr/bin/env bash
# Builds and runs every benchmark and prints one compact report: the
# machine, then each program's figures. Usage: scripts/bench.sh [--quick]
#
# --quick runs each micro benchmark briefly and the end-to-end one with
# fewer results; the figures are rougher. Nothing here judges the figures:
# the script fails only when a build fails, a benchmark cannot run, or the
# end-to-end run loses data. docs/performance.md keeps the latest report.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

QUICK=0
[[ ${1:-} == --quick ]] && QUICK=1

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build -j2 --target bench_receive bench_display bench_journal pallix_bench bench_end_to_end \
  bench_crowds bench_archive bench_web bench_list bench_web_hostile bench_ship bench_company

BENCH=$ROOT/build/bin/bench
# Temporaries and the programs' private directories stay in the build tree.
export TMPDIR=$ROOT/build/bench-tmp
export XDG_RUNTIME_DIR=$TMPDIR/runtime
mkdir -p "$XDG_RUNTIME_DIR"
chmod 0700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen

if ((QUICK)); then
  MICRO=(--benchmark_min_time=0.05 --benchmark_color=false)
  E2E=(--results 6 --large 3 --files 3 --attack 3 --quiet 20 --backlog 10)
  CROWDS=(--runs 3)
  ARCHIVE=(--shown 700 --results 100000)
  WEB=(--results 15 --idle 6)
  LIST=(--results 15)
  HOSTILE=(--samples 10)
  SHIP=(--days 3)
  COMPANY=(--lines 10 --days 3 --per-day 100)
else
  MICRO=(--benchmark_min_time=0.5 --benchmark_color=false)
  E2E=()
  CROWDS=()
  ARCHIVE=()
  WEB=()
  LIST=()
  HOSTILE=()
  SHIP=()
  COMPANY=()
fi

section() { printf '\n== %s\n' "$1"; }
# A micro benchmark's figures, without the machine description each program
# repeats (the report starts with it once); its errors still show.
micro() {
  { "$@" 2>&1 1>&3 |
      sed -E '/^(Run on|CPU Caches|  L[0-9] |Load Average|\*\*\*WARNING|Running |[0-9]{4}-[0-9]{2}-[0-9]{2}T)/d' >&2; } 3>&1
}

section "machine"
echo "cores      $(nproc)"
echo "CPU        $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "RAM        $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
echo "build      $(grep -m1 '^CMAKE_BUILD_TYPE:' build/CMakeCache.txt | cut -d= -f2)"
echo "system     $(uname -sr), $(. /etc/os-release && echo "$PRETTY_NAME")"
echo "load       $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
echo "date       $(date -u '+%Y-%m-%d %H:%M UTC')"

section "chunk writer, record parsing, spool-file decoding (bench_receive)"
micro "$BENCH/bench_receive" "${MICRO[@]}"

section "library: record format, compression, transport (pallix_bench)"
micro "$BENCH/pallix_bench" "${MICRO[@]}"

section "value displays on the offscreen platform (bench_display)"
micro "$BENCH/bench_display" "${MICRO[@]}"

section "journal: a line, a folded event, a line not wanted (bench_journal)"
micro "$BENCH/bench_journal" "${MICRO[@]}"

section "archive: cost per shown result, queries over a million results (bench_archive)"
"$BENCH/bench_archive" "${ARCHIVE[@]}"

section "end to end over loopback (bench_end_to_end)"
"$BENCH/bench_end_to_end" "${E2E[@]}"

section "a real station beside crowds, and after a full spool is freed (bench_crowds)"
"$BENCH/bench_crowds" "${CROWDS[@]}"

section "web view: publication to a browser, 1 and 50 live pages (bench_web)"
"$BENCH/bench_web" "${WEB[@]}"

section "today's list: publication to its new row, 400 rows on the page (bench_list)"
"$BENCH/bench_list" "${LIST[@]}"

section "web view under hostile requests, a kiosk beside it (bench_web_hostile)"
"$BENCH/bench_web_hostile" "${HOSTILE[@]}"

section "company database: a busy line's 30-day backlog shipped (bench_ship)"
"$BENCH/bench_ship" "${SHIP[@]}"

section "company view: the report and the CSV over 100 lines x 30 days (bench_company)"
"$BENCH/bench_company" "${COMPANY[@]}"
