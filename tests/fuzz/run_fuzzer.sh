#!/usr/bin/env bash
# Runs one fuzz target for a bounded time from its seed corpus and prints the run's figures.
# What the run finds goes into a scratch corpus under WORK_DIR (the seeds stay as they are);
# a finding is kept there as crash-*, leak-*, timeout-* or oom-* and fails the run.
# usage: run_fuzzer.sh TARGET SEED_DIR SECONDS WORK_DIR [more libFuzzer options]
set -euo pipefail
target=$1 seeds=$2 seconds=$3 work=$4
shift 4
name=$(basename "$target")
dir=$work/$name
mkdir -p "$dir/corpus"
log=$dir/log
export UBSAN_OPTIONS=print_stacktrace=1:${UBSAN_OPTIONS:-}
if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
     -print_final_stats=1 -artifact_prefix="$dir/" "$@" "$dir/corpus" "$seeds" >"$log" 2>&1; then
  tail -n 80 "$log"
  echo "$name: FINDING (input kept in $dir/)"
  exit 1
fi
done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
echo "$name: ${runs:-?} runs in ${seconds} s (${rate:-?}/s), peak ${rss:-?} MB; ${done_line}"
