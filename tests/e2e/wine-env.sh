#!/usr/bin/env bash
# Makes (setup) or removes (cleanup) the Wine prefix and the virtual display
# that the end-to-end tests share. STATE is a folder of the build tree:
#   STATE/prefix   the Wine prefix
#   STATE/display  the X display in use (":N")
#   STATE/xvfb.pid the Xvfb we started, if any
set -u
cmd=${1:?setup|cleanup}
state=${2:?state folder}
. "$(dirname "$0")/../../scripts/lib/wine.sh"

case "$cmd" in
setup)
  "$0" cleanup "$state" >/dev/null 2>&1
  mkdir -p "$state"
  # The tests get a display of their own unless one is named for them.
  if [ -n "${QUILLANE_USE_DISPLAY:-}" ]; then
    export DISPLAY=$QUILLANE_USE_DISPLAY
  else
    unset DISPLAY
    use_display 91 "$state/xvfb.pid" || exit 1
  fi
  echo "$DISPLAY" >"$state/display"
  wine_env "$state/prefix"
  make_wine_prefix || { echo "wine-env: wineboot failed" >&2; exit 1; }
  echo "wine-env: prefix ready on display $DISPLAY"
  ;;
cleanup)
  if [ -d "$state/prefix" ]; then
    WINEPREFIX="$state/prefix" wineserver -k >/dev/null 2>&1
    sleep 0.5
  fi
  stop_display "$state/xvfb.pid"
  rm -rf "$state"
  echo "wine-env: cleaned up"
  ;;
*) echo "usage: $0 setup|cleanup STATE" >&2; exit 2 ;;
esac
