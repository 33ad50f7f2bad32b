#!/usr/bin/env bash
# Runs every test: installs what is missing, then configures, builds and tests the native
# build, the native build under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# Windows build under Wine (which also checks that it reproduces the native outputs).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh

for preset in native native-asan windows; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
