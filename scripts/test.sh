#!/usr/bin/env bash
# Runs every test: installs what is missing, then configures, builds and tests the native
# build, the native build under AddressSanitizer and UndefinedBehaviorSanitizer, the core
# built for 64-bit ARM under qemu-user, and the 64-bit and 32-bit Windows builds under Wine
# (the cross builds also check that they reproduce the native outputs).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh

for preset in native native-asan arm64 windows windows-x86; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
