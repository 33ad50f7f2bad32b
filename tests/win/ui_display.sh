#!/usr/bin/env bash
# The virtual display the window tests run on: an Xvfb server of our own on a free display
# number, and a Wine prefix of their own beside the build tree's (hard links to its files, so
# it costs neither time nor room, except the registry files, which are copies) with the dialog
# fonts copied in and Wine's X11 driver unmanaged (closing a window does not wait for a window
# manager; Wine draws the caption).
#
# The window tests need a Wine session of their own: the first process of a session decides
# whether its desktop has a display, and the other tests run without one.
#
#   ui_display.sh start STATE_DIR WINE_RUN   start the server and the prefix, in STATE_DIR
#   ui_display.sh stop STATE_DIR             stop both
#   ui_display.sh run STATE_DIR WINE_RUN PROGRAM [ARGS...]
#                                            run PROGRAM under Wine on that display
#
# A machine without Xvfb, or whose server does not come up, gets no display; `run` then
# reports the skip status 77 with the reason instead of failing.
set -euo pipefail

command=${1:-}
state=${2:?usage: ui_display.sh start|stop|run STATE_DIR [WINE_RUN [PROGRAM ARGS...]]}
state=$(realpath -m "$state")
prefix="$state/prefix"
wine_ui="$state/wine-run.sh"

start_server() {
  local n pid
  for n in $(seq 90 140); do
    # A lock file or a socket means the number is taken (maybe by another engineer's run).
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$state/xvfb.log" 2>&1 &
    pid=$!
    # Ready when its socket appears; gone when another server took the number first.
    for _ in $(seq 100); do
      if [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$pid" 2>/dev/null; then
        echo "$n" >"$state/display"
        echo "$pid" >"$state/xvfb.pid"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill "$pid" 2>/dev/null || true
  done
  return 1
}

stop_session() {
  if [ -d "$prefix" ]; then WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true; fi
}

# Copies of the registry and settings files of the build tree's prefix MAIN, taken again when
# its server was writing one of them meanwhile: each copy must equal its source, and the
# registry must hold the media type keys the graphs need.
copy_registry() {
  local main=$1 f ok
  for _ in $(seq 20); do
    ok=yes
    while IFS= read -r -d '' f; do
      cp --remove-destination "$main/$f" "$prefix/$f"
      cmp -s "$main/$f" "$prefix/$f" || ok=
    done < <(cd "$main" && find . -maxdepth 1 -type f -printf '%P\0' &&
             find drive_c/windows -maxdepth 1 -type f -name '*.ini' -print0)
    grep -q '^\[Software\\\\Classes\\\\Media Type\\\\' "$prefix/system.reg" 2>/dev/null || ok=
    [ -n "$ok" ] && return 0
    sleep 1
  done
  return 1
}

# The prefix, once: linked from the build tree's, then fonts and window mode set.
prepare_prefix() {
  local wine_run=$1 main
  main=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
  sed "s|^export WINEPREFIX=.*|export WINEPREFIX=\"$prefix\"|" "$wine_run" >"$wine_ui"
  chmod +x "$wine_ui"
  # Ready once, and still so (the prefix's settings can be lost when the build tree's prefix
  # is made anew under it, and a prefix made by an older script shared its registry files).
  if [ -f "$prefix/.mw-ui-ready" ] && grep -q '^"Managed"="N"' "$prefix/user.reg" 2>/dev/null &&
     grep -q '^"ShowCrashDialog"=dword:00000000' "$prefix/user.reg" 2>/dev/null &&
     ! [ "$prefix/system.reg" -ef "$main/system.reg" ] &&
     ! [ "$prefix/user.reg" -ef "$main/user.reg" ]; then
    return 0
  fi
  "$wine_run" --init
  rm -rf "$prefix"
  cp -al "$main" "$prefix"
  rm -f "$prefix/.update-timestamp.lock"
  # Wine rewrites its registry files in place: through a shared link two servers would write
  # one file, and a server starting while the other writes would load half a registry and
  # later save that half back. The files beside drive_c and the .ini files are copies.
  copy_registry "$main" || {
    echo "ui_display: the build tree's prefix kept changing; its registry could not be copied" >&2
    return 1
  }
  if [ -d /usr/share/wine/fonts ]; then
    # New files, never written through a link into the build tree's prefix.
    cp --remove-destination /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
  fi
  DISPLAY=":$(cat "$state/display")" "$wine_ui" reg add 'HKCU\Software\Wine\X11 Driver' \
    /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # A crash writes its backtrace and ends the program; the crash dialog would wait for a
  # click on the virtual display until the test's timeout.
  DISPLAY=":$(cat "$state/display")" "$wine_ui" reg add 'HKCU\Software\Wine\WineDbg' \
    /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # The server writes the registry out when it ends; stopping it later would lose it.
  WINEPREFIX="$prefix" wineserver -w
  if grep -q '^"Managed"="N"' "$prefix/user.reg" &&
     grep -q '^"ShowCrashDialog"=dword:00000000' "$prefix/user.reg"; then
    touch "$prefix/.mw-ui-ready"
  else
    echo "ui_display: Wine's X11 driver could not be set unmanaged; closing windows is slow" >&2
  fi
}

case "$command" in
  start)
    wine_run=${3:?WINE_RUN missing}
    mkdir -p "$state"
    rm -f "$state/display" "$state/xvfb.pid"
    if ! "$wine_run" --check 2>/dev/null; then
      exit 0  # this build's programs cannot run here; `run` reports the skip
    fi
    # A session left from an earlier run would keep that run's display.
    stop_session
    if ! command -v Xvfb >/dev/null; then
      echo "ui_display: Xvfb is not installed; the window tests will be skipped" >&2
    elif ! start_server; then
      echo "ui_display: no Xvfb server could be started; the window tests will be skipped" >&2
    else
      prepare_prefix "$wine_run"
      echo "ui_display: Xvfb on :$(cat "$state/display"), Wine prefix $prefix"
    fi
    ;;
  stop)
    stop_session
    if [ -f "$state/xvfb.pid" ]; then
      kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    fi
    rm -f "$state/display" "$state/xvfb.pid"
    ;;
  run)
    wine_run=${3:?WINE_RUN missing}
    shift 3
    "$wine_run" --check || exit $?
    if [ ! -f "$state/display" ] || [ ! -x "$wine_ui" ]; then
      echo "ui_display: no virtual display (see the ui_display_start test); skipped" >&2
      exit 77
    fi
    export DISPLAY=":$(cat "$state/display")"
    exec "$wine_ui" "$@"
    ;;
  *)
    echo "usage: ui_display.sh start|stop|run STATE_DIR [WINE_RUN [PROGRAM ARGS...]]" >&2
    exit 2
    ;;
esac
