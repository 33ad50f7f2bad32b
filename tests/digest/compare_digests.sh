#!/usr/bin/env bash
# Runs the native digest program and another build of it (Windows or another processor,
# under the given emulator) and fails on the first line where they differ. Skips (77) when the native build is missing.
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
"$@" | tr -d '\r' > "$tmp/other.txt"
if ! diff -u "$tmp/native.txt" "$tmp/other.txt" > "$tmp/diff.txt"; then
  echo "the native build and $(basename "$(dirname "$(dirname "${!#}")")") differ:"
  head -n 40 "$tmp/diff.txt"
  exit 1
fi
echo "the native build and $(basename "$(dirname "$(dirname "${!#}")")") agree on $(wc -l < "$tmp/native.txt") digests"
