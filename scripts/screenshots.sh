#!/usr/bin/env bash
# Takes screenshots of Quillane as shop staff use it, under Wine, with the
# zh_CN locale and with en_US, into build/screenshots/ (not committed): the
# example rules, two shops answering customers, the settings window with a
# new rule, the save's message, and a third shop answered by the new rule.
# Needs the Windows build:
#   scripts/screenshots.sh [folder with Quillane.exe, Browser.exe, edbtool.exe, uidriver.exe]
# (default: $QUILLANE_WIN64_BIN, else build/win64/bin). QUILLANE_SCREENSHOT_LOCALES
# chooses the locales.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-${QUILLANE_WIN64_BIN:-$root/build/win64/bin}}
out=$root/build/screenshots
state=$out/wine-state
for f in Quillane.exe Browser.exe edbtool.exe uidriver.exe; do
  [ -f "$bin/$f" ] || { echo "screenshots: $bin/$f is missing; build the Windows programs first" >&2; exit 1; }
done
mkdir -p "$out"
"$root/tests/e2e/wine-env.sh" setup "$state" || exit 1
trap '"$root/tests/e2e/wine-env.sh" cleanup "$state" >/dev/null; rm -rf "$out/run"' EXIT
. "$root/scripts/lib/wine.sh"
wine_env "$state/prefix"
export DISPLAY=$(cat "$state/display")
# There is no window manager on the virtual display: Wine draws the title bars.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wineserver -w
winpath() { echo "Z:${1//\//\\}"; }

drv() { timeout 30 wine "$bin/uidriver.exe" "$@"; }
shot() { # name
  sleep 1
  import -window root "$out/$1.png" && echo "screenshots: $out/$1.png"
}

rc=0
for loc in ${QUILLANE_SCREENSHOT_LOCALES:-zh_CN.UTF-8 en_US.UTF-8}; do
  export LANG=$loc LC_ALL=$loc
  tag=${loc%%.*}
  run=$out/run/$tag
  rm -rf "$run" && mkdir -p "$run"
  cp "$bin/Quillane.exe" "$bin/Browser.exe" "$run/"
  wine "$bin/edbtool.exe" rules-from-csv "$(winpath "$root/examples/rules.csv")" "$(winpath "$run/Database.edb")" >/dev/null
  # Each shop's client asks one customer text when it starts.
  printf '在吗\n' >"$run/ask1.txt"
  printf '新品\n' >"$run/ask2.txt"
  printf '新品\n' >"$run/ask3.txt"
  export QUILLANE_CLIENT_SCRIPT="$(winpath "$run")\\ask{shop}.txt"
  ( cd "$run" && exec wine "$run/Quillane.exe" ) &
  app=$!
  if drv --timeout 30000 wait-window Quillane >/dev/null; then
    drv click-tool Quillane 工具条1 0
    sleep 2
    drv click-tool Quillane 工具条1 0
    shot "main-$tag"
    drv click-tool Quillane 工具条1 8
    drv wait-window 设置 >/dev/null
    sleep 1
    drv set-text 设置 编辑框_关键词 "上新|新品"
    drv set-text 设置 编辑框_回复语 "亲，新品每周五上架哦～"
    drv set-text 设置 编辑框_匹配码 9
    drv click 设置 按钮_添加
    drv select-row 设置 超级列表框_列表 6
    shot "settings-$tag"
    drv click 设置 按钮_保存
    shot "settings-saved-$tag"
    drv answer-box OK
    drv close 设置
    drv wait-gone 设置
    drv click-tool Quillane 工具条1 0
    sleep 3  # the new shop's client starts, asks and shows the reply
    shot "main-after-save-$tag"
  else
    echo "screenshots: the main window did not open ($loc)" >&2
    rc=1
  fi
  kill $app 2>/dev/null
  wineserver -k
  wineserver -w
done
exit $rc
