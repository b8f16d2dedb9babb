#!/usr/bin/env bash
# Runs one test command in the shared Wine environment (see wine-env.sh).
# A first argument ending in .exe is taken from QUILLANE_WIN64_BIN and started
# with wine; anything else runs as is with the environment exported.
# Afterwards every Windows process of the prefix is ended, so no test leaves
# programs behind for the next one.
set -u
state=${QUILLANE_WINE_STATE:?}
. "$(dirname "$0")/../../scripts/lib/wine.sh"
wine_env "$state/prefix"
export DISPLAY=$(cat "$state/display")
export LANG=${QUILLANE_WINE_LANG:-zh_CN.UTF-8} LC_ALL=${QUILLANE_WINE_LANG:-zh_CN.UTF-8}
export QUILLANE_WINE=wine
prog=$1; shift
if [[ "$prog" == *.exe ]]; then
  wine "$QUILLANE_WIN64_BIN/$prog" "$@"
else
  "$prog" "$@"
fi
rc=$?
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
exit $rc
