#!/usr/bin/env bash
# Runs the native digest program and its Windows build (under the given emulator) and
# fails on the first line where they differ. Skips (77) when the native build is missing.
set -euo pipefail
native=$1; shift
if [ ! -x "$native" ]; then
  echo "native build not found at $native: build the native preset first"
  exit 77
fi
# The emulator says whether this build's programs can run here at all.
rc=0
"$1" --check || rc=$?
[ "$rc" -eq 0 ] || exit "$rc"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$native" > "$tmp/native.txt"
"$@" | tr -d '\r' > "$tmp/windows.txt"
if ! diff -u "$tmp/native.txt" "$tmp/windows.txt" > "$tmp/diff.txt"; then
  echo "native and Windows outputs differ:"
  head -n 40 "$tmp/diff.txt"
  exit 1
fi
echo "native and Windows agree on $(wc -l < "$tmp/native.txt") digests"
