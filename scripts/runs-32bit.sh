#!/usr/bin/env bash
# Answers whether this machine's kernel runs 32-bit x86 programs: status 0 when it does;
# otherwise status 1 and one line on stdout saying why. It asks the kernel directly, with a
# 96-byte static 32-bit program written here that does nothing but exit with status 42,
# rather than judging by whether a 32-bit Wine starts.
# usage: runs-32bit.sh [SCRATCH_DIR]
set -u
dir=${1:-${TMPDIR:-/tmp}}
mkdir -p "$dir" 2>/dev/null
probe=$(mktemp "$dir/runs-32bit.XXXXXX") || { echo "cannot write a probe program in $dir"; exit 1; }
trap 'rm -f "$probe"' EXIT
# ELF header: 32-bit, little-endian, executable for i386, entry 0x08048054, one program
# header; the program header: one loadable, readable and executable segment of 96 bytes at
# 0x08048000; the code: mov eax, 1 (exit); mov ebx, 42; int 0x80.
printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0' >"$probe"
printf '\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0' >>"$probe"
printf '\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0\5\0\0\0\0\20\0\0' >>"$probe"
printf '\270\1\0\0\0\273\52\0\0\0\315\200' >>"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
status=$?
if [ "$status" -eq 42 ]; then exit 0; fi
if [ "$(wc -c <"$probe")" -ne 96 ]; then
  echo "the 32-bit probe program could not be written in $dir"
elif [ "$status" -eq 126 ]; then
  if grep -qs noexec <(findmnt -no OPTIONS --target "$dir" 2>/dev/null); then
    echo "programs cannot be run from $dir (mounted noexec), so 32-bit support was not probed"
  else
    echo "this machine's kernel does not run 32-bit programs (no IA-32 emulation)"
  fi
else
  echo "this machine's kernel does not run 32-bit programs (a 32-bit test program ended with status $status)"
fi
exit 1
