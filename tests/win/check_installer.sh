#!/usr/bin/env bash
# The setup program as a user runs it, in a fresh Wine prefix of its own on a virtual
# display of its own:
#   1. interactively, driven by real pointer clicks (xdotool), with a picture of each page;
#   2. what it installed: files, the twelve classes in the 64-bit registry view (and the 32-bit
#      view where this machine runs 32-bit programs), the six filters as the filter mapper
#      lists them, the help folder value, the list of installed programs; mwfx.exe from
#      another folder (no module beside it) processes a file through the registered filter,
#      byte for byte as the native mwfx does, and opens a settings page;
#   3. silently over the installation: exit 0, one registration per filter;
#   4. silently while a program holds the module loaded: exit 3, nothing changed;
#   5. the uninstaller interactively (pictures), then a silent install and a silent
#      uninstall (exit 0): no class key, no file, no help value, no list entry left.
#
#   check_installer.sh SETUP REGISTRATION_CHECK WINDOW_PICTURE MWFX_EXE NATIVE_MWFX PICTURES
set -euo pipefail

if [ $# -ne 6 ]; then
  echo "usage: $0 SETUP REGISTRATION_CHECK WINDOW_PICTURE MWFX_EXE NATIVE_MWFX PICTURES" >&2
  exit 2
fi
setup=$(realpath "$1")
checker=$(realpath "$2")
picture_tool=$(realpath "$3")
mwfx_exe=$(realpath "$4")
native_mwfx=$(realpath "$5")
pictures=$(realpath -m "$6")
mkdir -p "$pictures"

work=$(mktemp -d "${TMPDIR:-/tmp}/mwppack1-installer.XXXXXX")
export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv=d"
xvfb_pid=

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ -x "$native_mwfx" ] || fail "no native mwfx at $native_mwfx: build the native preset first"

wine=wine
runs32=yes
if ! why=$("$(dirname "$0")/../../scripts/runs-32bit.sh" "$work"); then
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
  runs32=
  echo "32-bit half skipped: $why"
fi
for tool in Xvfb xdotool makensis; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed; skipped"; exit 77; }
done

# A display of our own.
for n in $(seq 141 190); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -S "/tmp/.X11-unix/X$n" ] && break
    sleep 0.05
  done
  if [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    export DISPLAY=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
done
[ -n "$xvfb_pid" ] || { echo "no virtual display could be started; skipped"; exit 77; }

start=$SECONDS
"$wine" wineboot -i >/dev/null 2>&1 || fail "wineboot could not create the prefix"
wineserver -w
# The dialog fonts a fresh prefix lacks; unmanaged windows (Wine draws the captions itself
# and nothing waits for a window manager).
[ -d /usr/share/wine/fonts ] && cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# A crash ends the program with its backtrace instead of waiting in a dialog.
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

install_dir="$WINEPREFIX/drive_c/Program Files/Marrowind/Vantor 1 Plug-In Pack"
install_win='C:\Program Files\Marrowind\Vantor 1 Plug-In Pack'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantor1PlugInPack'
help_key='HKLM\Software\Marrowind\Shared Information'
classes=(
  D2486E15-3B9F-11D1-8C5A-4E7A91C2D05F 1B7E9C41-92D3-11D0-9D27-4E7A91C2D05F
  C8E35F20-8A64-11D0-9D27-4E7A91C2D05F C8E35F21-8A64-11D0-9D27-4E7A91C2D05F
  3C41A870-5E2D-11D0-9D27-4E7A91C2D05F 3C41A871-5E2D-11D0-9D27-4E7A91C2D05F
  61D7C5A0-4B19-11D0-9D27-4E7A91C2D05F 61D7C5A1-4B19-11D0-9D27-4E7A91C2D05F
  2A93F640-7C58-11D0-9D27-4E7A91C2D05F 2A93F641-7C58-11D0-9D27-4E7A91C2D05F
  4F1B2D80-63A7-11D0-9D27-4E7A91C2D05F 4F1B2D81-63A7-11D0-9D27-4E7A91C2D05F
)

reg_query() { "$wine" reg query "$@" 2>/dev/null | tr -d '\r'; }

# Drives one page: waits for it (the window and its button), pictures it, clicks the button.
page() {
  local title=$1 button=$2 name=$3 at
  at=$("$wine" "$picture_tool" "$title" "$button" "$pictures/$name.png" | tr -d '\r') ||
    fail "page '$name': no window '$title' with a '$button' button"
  xdotool mousemove ${at% *} ${at#* } sleep 0.2 click 1
  echo "   page $name: $pictures/$name.png"
}

views() { echo 64; [ -n "$runs32" ] && echo 32; true; }

check_installed() {
  local what=$1 view f
  echo "== installed ($what)"
  for f in x64/mwppack1.dll x86/mwppack1.dll uninstall.exe licence.txt help/readme.txt; do
    [ -f "$install_dir/$f" ] || fail "$what: $f is missing"
  done
  "$wine" "$checker" --phase=registered "--dll=$install_win\\x64\\mwppack1.dll" >"$work/check.log" 2>&1 ||
    { cat "$work/check.log"; fail "$what: the 64-bit registration"; }
  for view in $(views); do
    local dll=x64
    [ "$view" = 32 ] && dll=x86
    for c in "${classes[@]}"; do
      reg_query "HKCR\\CLSID\\{$c}\\InprocServer32" /reg:$view | grep -qF "$install_win\\$dll\\mwppack1.dll" ||
        fail "$what: class {$c} is not registered in the $view-bit view"
    done
    reg_query "$help_key" /reg:$view | grep -qF "HelpFolder    REG_SZ    $install_win\\help" ||
      fail "$what: no help folder value in the $view-bit view"
  done
  local entry
  entry=$(reg_query "$uninstall_key" /reg:64)
  for field in "DisplayName    REG_SZ    Vantor 1 Plug-In Pack" "Publisher    REG_SZ    Marrowind" \
               "DisplayVersion    REG_SZ    1.0f (Build 211)" "EstimatedSize    REG_DWORD" \
               "UninstallString    REG_SZ    \"$install_win\\uninstall.exe\"" \
               "DisplayIcon    REG_SZ    $install_win\\uninstall.exe,0"; do
    grep -qF "$field" <<<"$entry" || fail "$what: the list entry lacks '$field'"
  done
  "$wine" uninstaller --list | tr -d '\r' | grep -q '|Vantor 1 Plug-In Pack$' ||
    fail "$what: the list of installed programs does not show the pack"
}

check_removed() {
  local what=$1 view
  echo "== removed ($what)"
  [ ! -e "$install_dir" ] || fail "$what: $(find "$install_dir" | head -3 | tr '\n' ' ') left"
  [ ! -e "$WINEPREFIX/drive_c/Program Files/Marrowind" ] || fail "$what: the maker's folder is left"
  "$wine" "$checker" --phase=unregistered >"$work/check.log" 2>&1 ||
    { cat "$work/check.log"; fail "$what: registration left"; }
  for view in $(views); do
    for c in "${classes[@]}"; do
      reg_query "HKCR\\CLSID\\{$c}" /reg:$view | grep -q . && fail "$what: class {$c} left ($view-bit view)"
    done
    reg_query 'HKLM\Software\Marrowind' /reg:$view | grep -q . && fail "$what: the maker's key is left ($view-bit view)"
  done
  reg_query "$uninstall_key" /reg:64 | grep -q . && fail "$what: the list entry is left"
  "$wine" uninstaller --list | tr -d '\r' | grep -q 'Vantor' && fail "$what: still in the list of programs"
  true
}

# 1. Interactive install.
echo "== interactive install"
"$wine" "$setup" &
setup_pid=$!
title="Vantor 1 Plug-In Pack Setup"
page "$title" "Next >" installer-1-welcome
page "$title" "I Agree" installer-2-licence
page "$title" "Install" installer-3-folder
page "$title" "Next >" installer-4-progress
page "$title" "Finish" installer-5-finish
wait "$setup_pid" || fail "the interactive setup exited with $?"

# 2. What it installed, and a host that finds the effects only through the registration.
check_installed "interactive"
elsewhere="$WINEPREFIX/drive_c/elsewhere"
mkdir -p "$elsewhere"
cp "$mwfx_exe" "$elsewhere/mwfx.exe"
sox -q -n -r 44100 -c 2 -b 16 "$elsewhere/in.wav" synth 1.5 pluck C4 pad 0 0.5
"$native_mwfx" process delay "$elsewhere/in.wav" "$elsewhere/native.wav" --preset 2
"$wine" 'C:\elsewhere\mwfx.exe' process delay 'C:\elsewhere\in.wav' 'C:\elsewhere\out.wav' --preset 2 ||
  fail "mwfx.exe could not process through the registered filter"
cmp -s "$elsewhere/out.wav" "$elsewhere/native.wav" || fail "mwfx.exe's output differs from the native mwfx"
"$wine" 'C:\elsewhere\mwfx.exe' settings delay --picture 'C:\elsewhere\page.png' ||
  fail "mwfx.exe could not open the settings page through the registration"
cp "$elsewhere/page.png" "$pictures/installed-page-delay.png"
echo "   mwfx.exe from another folder: same output as native mwfx; page: $pictures/installed-page-delay.png"

# 3. Silently over the installation.
"$wine" "$setup" /S || fail "the silent install over an installation exited with $?"
check_installed "silent, over the first"

# 4. A host holding the module: refused, nothing changed.
before=$(md5sum "$install_dir/x64/mwppack1.dll" "$install_dir/uninstall.exe")
"$wine" 'C:\elsewhere\mwfx.exe' settings chorus >/dev/null 2>&1 &
holder=$!
# The module is loaded once it is mapped into the holder (Wine runs it in this process).
for _ in $(seq 150); do
  grep -q mwppack1 "/proc/$holder/maps" 2>/dev/null && break
  sleep 0.1
done
grep -q mwppack1 "/proc/$holder/maps" || fail "the holder did not load the module"
rc=0
"$wine" "$setup" /S || rc=$?
[ "$rc" -eq 3 ] || fail "a silent install while the module is in use exited with $rc, not 3"
[ "$(md5sum "$install_dir/x64/mwppack1.dll" "$install_dir/uninstall.exe")" = "$before" ] ||
  fail "a refused install changed files"
echo "== in use: refused with exit 3, nothing changed"
kill "$holder" 2>/dev/null || true
"$wine" taskkill /f /im mwfx.exe >/dev/null 2>&1 || true
wait "$holder" 2>/dev/null || true

# 5. The uninstaller, interactively, then silently.
echo "== interactive uninstall"
"$wine" "$install_win\\uninstall.exe" &
page "Vantor 1 Plug-In Pack Uninstall" "Uninstall" uninstaller-1-confirm
page "Vantor 1 Plug-In Pack Uninstall" "Close" uninstaller-2-done
wineserver -w
check_removed "interactive uninstall"

"$wine" "$setup" /S || fail "the silent install exited with $?"
check_installed "silent"
# The uninstaller as the list of programs runs it copies itself away and runs the copy on the
# installation; running the copy directly gives its exit status. cmd passes "_?=" unquoted.
mkdir -p "$WINEPREFIX/drive_c/temp"
cp "$install_dir/uninstall.exe" "$WINEPREFIX/drive_c/temp/un.exe"
"$wine" cmd /c "C:\\temp\\un.exe /S _?=$install_win" || fail "the silent uninstall exited with $?"
check_removed "silent uninstall"

echo "installer checks passed in $((SECONDS - start)) s; pictures in $pictures"
