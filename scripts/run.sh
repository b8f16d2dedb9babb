#!/usr/bin/env bash
# Sets the machine up, builds the Windows programs it runs (Quillane.exe,
# Browser.exe, edbtool.exe; nothing else) and runs them under Wine,
# on the current display or, when there is none, on a virtual display started
# for the run. Takes a screenshot after a few seconds and says where it is.
# On a real display the program keeps running until you close it; on the
# virtual display the run ends after the screenshot.
#
# It runs Quillane.exe with the reference shop client Browser.exe beside it.
# On a first run the run folder is seeded with the example rules of
# examples/rules.csv: add a shop (添加店铺), type 在吗 into the shop's tab and
# press 发送 to see the reply.
#
# Everything lives in build/run/: the programs, and a Wine prefix of its own
# (build/run/wineprefix, made once). For trying the script itself without
# touching build/: QUILLANE_RUN_NO_BUILD=1 skips set-up and build,
# QUILLANE_WIN64_BIN names the programs' folder, QUILLANE_RUN_BASE the run
# folder, QUILLANE_RUN_WAIT the seconds before the screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

program=Quillane.exe            # the program to run
companions=(Browser.exe edbtool.exe)  # programs it needs beside it
wait_seconds=${QUILLANE_RUN_WAIT:-8}

if [ -z "${QUILLANE_RUN_NO_BUILD:-}" ]; then
  bash scripts/setup.sh
  # Only the programs it runs, not the tests and tools of the whole build.
  QUILLANE_BUILD_TARGETS="${program%.exe} ${companions[*]//.exe/}" bash scripts/build.sh win64
fi
bin=${QUILLANE_WIN64_BIN:-$root/build/win64/bin}

run=${QUILLANE_RUN_BASE:-$root/build/run}
mkdir -p "$run"
for p in "$program" "${companions[@]}"; do
  cp -f "$bin/$p" "$run/"
done
cp -f "$root/examples/rules.csv" "$run/example-rules.csv"

. "$root/scripts/lib/wine.sh"
virtual=0
if ! { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
  virtual=1
fi
xvfb_pid="$run/xvfb.pid"
use_display 60 "$xvfb_pid"
trap 'stop_display "$xvfb_pid"' EXIT
wine_env "$run/wineprefix"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
if [ ! -f "$WINEPREFIX/.quillane-ready" ]; then
  echo "run: making the Wine prefix (once, about half a minute)"
  make_wine_prefix
fi
cd "$run"
if [ ! -f Database.edb ]; then
  # A first run: start with the example rules, written by the table engine.
  wine "$run/edbtool.exe" rules-from-csv example-rules.csv Database.edb >/dev/null 2>&1 \
    && echo "run: example rules written to $run/Database.edb"
fi
wine "$run/$program" >/dev/null 2>&1 &
pid=$!
sleep "$wait_seconds"
shot="$run/screenshot.png"
if import -window root "$shot" 2>/dev/null; then
  echo "run: screenshot written to $shot"
else
  echo "run: could not take a screenshot" >&2
fi
if [ "$virtual" = 1 ]; then
  wineserver -k >/dev/null 2>&1
  wait "$pid" 2>/dev/null || true
  echo "run: ended (virtual display)"
else
  echo "run: running; close its window to end"
  wait "$pid" || true
  wineserver -k >/dev/null 2>&1 || true
fi
