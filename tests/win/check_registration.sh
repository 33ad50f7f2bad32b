#!/usr/bin/env bash
# Self-registration of mwppack1.dll as an installer does it: regsvr32 in a fresh Wine prefix
# of its own (nothing registered before), then registration_check.exe in the same prefix to
# look at what each step left behind.
#
#   check_registration.sh REGISTRATION_CHECK_EXE MWPPACK1_DLL
#
# Steps: register from the install folder by relative name, register again by full path,
# install and register a second copy elsewhere (the registration moves to it), unregister,
# and finally register and unregister (twice) from inside the checker's own process.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 REGISTRATION_CHECK_EXE MWPPACK1_DLL" >&2
  exit 2
fi
checker=$(realpath "$1")
dll=$(realpath "$2")

work=$(mktemp -d "${TMPDIR:-/tmp}/mwppack1-registration.XXXXXX")
export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko install prompts; no sound devices (the device enumerator would probe them).
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv=d"

cleanup() {
  # Only this prefix's server and processes; everything they did is in the prefix.
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# Debian's `wine` starts the 32-bit loader whenever it is installed; on a kernel that cannot
# run 32-bit programs, the 64-bit loader runs everything there is to run.
wine=wine
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
  # A 32-bit module cannot be registered on such a machine: skipped, not failed. The PE
  # header's machine field (at the offset found at 0x3c, plus 4) is 0x014c for 32-bit x86.
  pe=$(od -An -tu4 -j60 -N4 "$checker" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$checker" | tr -d ' ')
  if [ "$machine" = 014c ]; then
    echo "this machine cannot run 32-bit programs: the 32-bit registration is not run here"
    exit 77
  fi
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

start=$SECONDS
"$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not create the prefix"

# Two install folders, one with spaces in its name as installers commonly choose.
first_dir="$WINEPREFIX/drive_c/Program Files/Marrowind/Vantor 1 Plug-In Pack"
first_win='C:\Program Files\Marrowind\Vantor 1 Plug-In Pack\mwppack1.dll'
second_dir="$WINEPREFIX/drive_c/Marrowind"
second_win='C:\Marrowind\mwppack1.dll'
mkdir -p "$first_dir" "$second_dir"
cp "$dll" "$first_dir/mwppack1.dll"
cp "$dll" "$second_dir/mwppack1.dll"

# regsvr32's exit codes: 3 the module did not load, 4 the entry point is missing, 5 it
# returned a failure.
run_regsvr32() {
  local what=$1
  shift
  local rc=0
  "$wine" regsvr32 "$@" || rc=$?
  [ "$rc" -eq 0 ] || fail "regsvr32 $* ($what) exited with $rc"
}

check() {
  local what=$1
  shift
  echo "== $what"
  "$wine" "$checker" "$@" || fail "$what"
}

# From the install folder by relative name: the module must still record its full path.
(cd "$first_dir" && run_regsvr32 "by relative name" /s mwppack1.dll)
check "registered" --phase=registered "--dll=$first_win"

run_regsvr32 "second time" /s "$first_win"
check "registered twice" --phase=registered "--dll=$first_win"

run_regsvr32 "second copy" /s "$second_win"
check "registered from the second copy" --phase=registered "--dll=$second_win"

run_regsvr32 "unregister" /u /s "$second_win"
check "unregistered" --phase=unregistered

check "in-process registration" --phase=in-process "--dll=$first_win"

echo "registration checks passed in $((SECONDS - start)) s"
