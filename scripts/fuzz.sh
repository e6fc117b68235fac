#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset, clang) and runs each one,
# or the ones named, for a given time; then prints what each run found.
#
#   scripts/fuzz.sh [-t SECONDS] [TARGET...]
#
# TARGET is a name like chunk_writer or fuzz_chunk_writer; default all five.
# SECONDS per target, default 60. Each run starts from the committed seeds in
# fuzz/corpus/<target> and keeps what it learns in build-fuzz/fuzz-work/
# <target>/corpus, so later runs go on from there. Crashing inputs land in
# build-fuzz/fuzz-work/<target>/findings. Exit status 1 when anything was
# found, 0 otherwise.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
all=(record_parser decompressor chunk_writer ini_reader check_number)
targets=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    -t) seconds=$2; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) t=${1#fuzz_}; targets+=("$t"); shift ;;
  esac
done
[[ ${#targets[@]} -eq 0 ]] && targets=("${all[@]}")
for t in "${targets[@]}"; do
  [[ " ${all[*]} " == *" $t "* ]] || { echo "unknown target: $t (one of: ${all[*]})" >&2; exit 2; }
done

cd "$root"
scripts/setup.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]/#/fuzz_}"

work=$root/build-fuzz/fuzz-work
found=0
summary=()
for t in "${targets[@]}"; do
  dir=$work/$t
  mkdir -p "$dir/corpus" "$dir/findings" "$dir/tmp"
  max_len=8192
  [[ $t == chunk_writer ]] && max_len=52000  # 24 frames of 2052 bytes
  echo "== fuzz_$t for ${seconds}s"
  # Files the targets write stay in the work area (TMPDIR).
  set +e
  TMPDIR=$dir/tmp "$root/build-fuzz/bin/fuzz_$t" \
    -max_total_time="$seconds" -max_len=$max_len -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/findings/" \
    "$dir/corpus" "$root/fuzz/corpus/$t" >"$dir/last-run.log" 2>&1
  rc=$?
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/last-run.log" | grep -o '[0-9]*$' || echo "?")
  cov=$(grep -o 'cov: [0-9]*' "$dir/last-run.log" | tail -1 | grep -o '[0-9]*' || echo "?")
  corpus=$(find "$dir/corpus" -type f | wc -l)
  findings=$(find "$dir/findings" -type f | wc -l)
  summary+=("$(printf '%-14s runs %-10s coverage %-6s corpus %-6s findings %s' "$t" "$runs" "$cov" "$corpus" "$findings")")
  if [[ $rc -ne 0 || $findings -gt 0 ]]; then
    found=1
    echo "   exit $rc; log: $dir/last-run.log"
    grep -E 'ERROR|fuzz finding|runtime error|Test unit written' "$dir/last-run.log" | head -5 | sed 's/^/   /' || true
    find "$dir/findings" -type f | sed 's/^/   finding: /'
  fi
done
echo
echo "== summary (${seconds}s each)"
printf '%s\n' "${summary[@]}"
exit $found
