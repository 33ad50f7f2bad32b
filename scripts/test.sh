#!/usr/bin/env bash
# Runs every test: installs what is missing, then configures, builds and tests the native
# build, the native build under AddressSanitizer and UndefinedBehaviorSanitizer, the
# concurrency tests under ThreadSanitizer, each fuzz target briefly (about 20 s), the core
# built for 64-bit ARM under qemu-user, and the 64-bit and 32-bit Windows builds under Wine
# (the cross builds also check that they reproduce the native outputs), with the setup
# program installed, used and removed in a fresh Wine prefix. The 32-bit Windows
# tests run where the machine's kernel runs 32-bit programs; elsewhere one line says why
# they were skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh

for preset in native native-asan native-tsan fuzz arm64 windows windows-x86; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  # The setup program (it also builds the 32-bit module) for the installer's check.
  if [ "$preset" = windows ]; then cmake --build --preset windows --target installer; fi
  if [ "$preset" = windows-x86 ] && ! why=$(scripts/runs-32bit.sh build); then
    echo "== windows-x86: tests skipped: $why"
    continue
  fi
  ctest --preset "$preset"
done
