#!/usr/bin/env bash
# Runs the fuzz targets long: one at a time, at the lowest priority, each for RUNS
# executions (default ten million) from the corpus kept in the repository. Inputs that
# reach code the kept corpus does not are merged back into tests/fuzz/corpus/<target>/
# (the merge does not tell hit counts apart, which keeps the corpora small); a finding
# stops the script with the input kept under build/fuzz/long/<target>/. The figures of
# every run are printed and appended to build/fuzz/long/figures.txt. MAX_SECONDS, when
# set, also bounds each target's time (the slower streaming targets need hours for ten million).
# FUZZ_FLAGS, when set, is passed on to every run (for example -entropic=0, which spends
# less time choosing inputs and runs the streaming targets about 1.7 times as fast).
# usage: [MAX_SECONDS=N] [FUZZ_FLAGS=...] scripts/fuzz-long.sh [RUNS [TARGET...]]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-10000000}
limit=()
if [ -n "${MAX_SECONDS:-}" ]; then limit=(-max_total_time="$MAX_SECONDS"); fi
read -r -a extra <<<"${FUZZ_FLAGS:-}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(record_load media_type wav_header sound_input inplace_stream copying_stream ui_text)
fi

scripts/bootstrap.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

export UBSAN_OPTIONS=print_stacktrace=1
figures=build/fuzz/long/figures.txt
mkdir -p build/fuzz/long
for t in "${targets[@]}"; do
  work=build/fuzz/long/$t
  mkdir -p "$work/corpus"
  start=$(date +%s)
  if ! nice -n 19 "build/fuzz/bin/fuzz_$t" -runs="$runs" "${limit[@]}" -timeout=10 \
       -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 -artifact_prefix="$work/" "${extra[@]}" \
       "$work/corpus" "tests/fuzz/corpus/$t" >"$work/log" 2>&1; then
    tail -n 60 "$work/log"
    echo "fuzz-long: $t found a fault; its input is kept in $work/"
    exit 1
  fi
  seconds=$(( $(date +%s) - start ))
  nice -n 19 "build/fuzz/bin/fuzz_$t" -merge=1 -use_counters=0 "tests/fuzz/corpus/$t" \
    "$work/corpus" >"$work/merge.log" 2>&1
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/log" | tail -n 1)
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
  files=$(find "tests/fuzz/corpus/$t" -type f | wc -l)
  bytes=$(du -sb "tests/fuzz/corpus/$t" | cut -f1)
  line="$t: $executed runs in $seconds s ($rate/s); ${done_line#*DONE   }; kept corpus $files files, $bytes bytes"
  echo "$line" | tee -a "$figures"
done
