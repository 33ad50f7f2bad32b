#!/usr/bin/env bash
# Runs the soak of the Windows build longer than the test suite does: each effect filter
# streams MINUTES (default 240) minutes of audio at RATE (default 44100) frames a second
# through real graphs under Wine, with the same disturbances and checks as the `soak` test.
# The figures of every effect are printed and appended to build/soak/figures.txt.
# usage: scripts/soak-long.sh [MINUTES [RATE [PRESET]]]
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-240}
rate=${2:-44100}
preset=${3:-windows}

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target reliability_tests mwppack1

mkdir -p build/soak
log=build/soak/$preset-$minutes-$rate.log
status=0
MW_SOAK_MINUTES=$minutes MW_SOAK_RATE=$rate nice -n 19 "build/$preset/wine-run.sh" \
  "build/$preset/bin/reliability_tests.exe" --gtest_filter='Soak.*' >"$log" 2>&1 || status=$?
grep -E '^soak ' "$log" | sed "s/^/$(date -u +%FT%TZ) $preset: /" | tee -a build/soak/figures.txt
if [ "$status" -ne 0 ]; then
  tail -n 40 "$log"
  echo "soak-long: failed (status $status); the log is $log"
fi
exit "$status"
