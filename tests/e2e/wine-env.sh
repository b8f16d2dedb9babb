#!/usr/bin/env bash
# Makes (setup) or removes (cleanup) the Wine prefix and the virtual display
# that the end-to-end tests share. STATE is a folder of the build tree:
#   STATE/prefix   the Wine prefix
#   STATE/display  the X display in use (":N")
#   STATE/xvfb.pid the Xvfb we started, if any
set -u
cmd=${1:?setup|cleanup}
state=${2:?state folder}

start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { echo ":$n" >"$state/display"; return 0; }
      sleep 0.1
    done
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null
  done
  echo "wine-env: could not start Xvfb" >&2
  return 1
}

case "$cmd" in
setup)
  "$0" cleanup "$state" >/dev/null 2>&1
  mkdir -p "$state"
  if [ -n "${QUILLANE_USE_DISPLAY:-}" ]; then
    echo "$QUILLANE_USE_DISPLAY" >"$state/display"
  else
    start_xvfb || exit 1
  fi
  export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export DISPLAY=$(cat "$state/display")
  timeout 150 wineboot -i >/dev/null 2>&1 || { echo "wine-env: wineboot failed" >&2; exit 1; }
  # Chinese fonts: the windows ask for SimSun; map it to the installed CJK font.
  for f in SimSun NSimSun "MS Shell Dlg" "MS Shell Dlg 2"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$f" /d 'WenQuanYi Zen Hei' /f >/dev/null 2>&1
  done
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "宋体" /d 'WenQuanYi Zen Hei' /f >/dev/null 2>&1
  # No crash dialog: a crashing program must end, not wait for a click.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  timeout 60 wineserver -w
  echo "wine-env: prefix ready on display $DISPLAY"
  ;;
cleanup)
  if [ -d "$state/prefix" ]; then
    WINEPREFIX="$state/prefix" wineserver -k >/dev/null 2>&1
    sleep 0.5
  fi
  [ -f "$state/xvfb.pid" ] && kill "$(cat "$state/xvfb.pid")" 2>/dev/null
  rm -rf "$state"
  echo "wine-env: cleaned up"
  ;;
*) echo "usage: $0 setup|cleanup STATE" >&2; exit 2 ;;
esac
