#!/usr/bin/env bash
# Takes screenshots of the two windows (built from their definitions in the
# window test program) under Wine, with the zh_CN locale and with en_US, into
# build/screenshots/ (not committed). Needs the Windows build:
#   scripts/screenshots.sh [folder with ui_stub_app.exe and uidriver.exe]
# (default: $QUILLANE_WIN64_BIN, else build/win64/bin).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-${QUILLANE_WIN64_BIN:-$root/build/win64/bin}}
out=$root/build/screenshots
state=$out/wine-state
for f in ui_stub_app.exe uidriver.exe; do
  [ -f "$bin/$f" ] || { echo "screenshots: $bin/$f is missing; build the Windows programs first" >&2; exit 1; }
done
mkdir -p "$out"
"$root/tests/e2e/wine-env.sh" setup "$state" || exit 1
trap '"$root/tests/e2e/wine-env.sh" cleanup "$state" >/dev/null' EXIT
export WINEPREFIX=$state/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=$(cat "$state/display")
# There is no window manager on the virtual display: Wine draws the title bars.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wineserver -w

drv() { timeout 30 wine "$bin/uidriver.exe" "$@"; }
shot() { # name
  sleep 1
  import -window root "$out/$1.png" && echo "screenshots: $out/$1.png"
}

rc=0
for loc in zh_CN.UTF-8 en_US.UTF-8; do
  export LANG=$loc LC_ALL=$loc
  tag=${loc%%.*}
  wine "$bin/ui_stub_app.exe" &
  app=$!
  if drv --timeout 30000 wait-window Quillane >/dev/null; then
    drv click-tool Quillane 工具条1 0  # one shop tab beside the start page
    drv select-tab Quillane 高级选择夹1 0
    shot "main-$tag"
    drv click-tool Quillane 工具条1 8
    drv wait-window 设置 >/dev/null
    drv set-text 设置 编辑框_回复语 "您好，在的"
    drv click 设置 按钮_添加
    shot "settings-$tag"
  else
    echo "screenshots: the main window did not open ($loc)" >&2
    rc=1
  fi
  kill $app 2>/dev/null
  wineserver -k
  wineserver -w
done
exit $rc
