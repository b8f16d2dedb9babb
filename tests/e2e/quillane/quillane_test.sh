#!/usr/bin/env bash
# The real Quillane.exe with real Browser.exe clients in scripted mode under
# Wine, driven from outside through uidriver.exe: the first start, shops and
# their replies, notices, deleting a shop, a missing Browser.exe, and exit.
# Run by wine-run.sh (WINEPREFIX, DISPLAY, LANG, QUILLANE_WIN64_BIN set).
set -u
. "$(dirname "$0")/../checks.sh"
# The tab captions on one line, the current one marked with *.
tabs() { drv tabs Quillane 高级选择夹1 | tr -d '\r' | awk -F'\t' '{printf "%s%s%s", (NR>1?" ":""), ($1=="*"?"*":""), $2}'; }
status() { drv status-text Quillane 状态条1 1 | tr -d '\r'; }
# Waits until the status text is TEXT.
wait_status() {
  local i s
  for i in $(seq 1 50); do s=$(status); [ "$s" == "$1" ] && break; sleep 0.2; done
  echo "$s"
}
start_app() { # folder
  ( cd "$1" && exec "$wine" "$1/Quillane.exe" ) &
  app=$!
  drv --timeout 40000 wait-window Quillane >/dev/null || { echo "FAIL Quillane did not open in $1"; exit 1; }
}
# Closes the main window with OK and returns Quillane's exit code.
exit_app() {
  drv close Quillane >/dev/null
  drv answer-box OK >/dev/null
  wait "$app"
  local rc=$?
  app=""
  return $rc
}

echo "locale: $LANG"

# --- A first start in an empty folder ---------------------------------------
first=$work/first
mkdir -p "$first"
cp "$bin/Quillane.exe" "$first/"
start_app "$first"
check "welcome text" "欢迎使用" "$(status)"
check "the empty rule table is written (404 bytes)" 404 "$(stat -c %s "$first/Database.edb" 2>/dev/null)"
check "the sorted copy is made" yes "$([ -f "$first/Sorting.edb" ] && echo yes || echo no)"
check "no Data.ini is written" no "$([ -f "$first/Data.ini" ] && echo yes || echo no)"

# Browser.exe is missing here: the tab goes again and the status bar says why.
drv click-tool Quillane 工具条1 0 >/dev/null
check "a missing Browser.exe is reported" "添加失败，请重试或检查本程序安装目录中Browser.exe是否存在。" "$(wait_status "添加失败，请重试或检查本程序安装目录中Browser.exe是否存在。")"
check "and its tab removed" "*启动页" "$(tabs)"
check "the add button is enabled again" "enabled" "$(drv state Quillane 工具条1 | tr -d '\r' | cut -f1 | head -1)"

# Exit with Cancel keeps it running; OK ends it with exit code 0.
drv close Quillane >/dev/null
box=$(drv answer-box CANCEL | tr -d '\r')
check "the exit question" "退出 确定退出吗？" "$(echo $box)"
check "Cancel keeps Quillane running" 1 "$(drv count-windows Quillane | tr -d '\r')"
exit_app
check "OK ends Quillane with exit code 0" 0 "$?"

# --- Shops and replies -------------------------------------------------------
shop=$work/shop
mkdir -p "$shop"
cp "$bin/Quillane.exe" "$bin/Browser.exe" "$shop/"
printf '关键词,回复语,匹配规则,匹配码\r\n在吗|在不,在的亲,包含,5\r\n发货,48小时内发货,完全匹配,9\r\n空,"　　",包含,1\r\n' >"$work/rules.csv"
"$wine" "$bin/edbtool.exe" rules-from-csv "$(winpath "$work/rules.csv")" "$(winpath "$shop/Database.edb")" >/dev/null 2>&1
printf '[Reply]\r\nDefault=默认回复|$\r\n[Wait]\r\nsecond=0\r\n' | iconv -f UTF-8 -t GBK >"$shop/Data.ini"
printf '在\n你好\n' >"$work/script1.txt"
printf '发货\n空\n' >"$work/script2.txt"
: >"$work/script3.txt"
export QUILLANE_CLIENT_SCRIPT="$(winpath "$work")\\script{shop}.txt"
export QUILLANE_CLIENT_LOG="$(winpath "$work")\\client{shop}.log"
start_app "$shop"

drv click-tool Quillane 工具条1 0 >/dev/null
wait_line "$work/client1.log" $'匹配回复内容\t默认回复|$' >/dev/null
drv click-tool Quillane 工具条1 0 >/dev/null
check "two shops, the second current" "启动页 店铺1 *店铺2" "$(tabs)"
c1=$work/client1.log c2=$work/client2.log
check "shop 1 asks with its number" yes "$(has_line "$c1" $'匹配回复内容\t在|1')"
check "a containment rule answers shop 1" yes "$(has_line "$c1" $'匹配回复内容\t在的亲')"
check "no rule: the default reply, sent unchanged" yes "$(has_line "$c1" $'匹配回复内容\t默认回复|$')"
check "an exact rule answers shop 2" yes "$(has_line "$c2" $'匹配回复内容\t48小时内发货')"
check "a blank reply falls back to the default" yes "$(has_line "$c2" $'匹配回复内容\t默认回复|$')"
check "shop 2 got none of shop 1's replies" no "$(tr -d '\r' <"$c2" | grep -qxF $'匹配回复内容\t在的亲' && echo yes || echo no)"

# Starting and stopping the current shop: its client follows and says so.
# The wait time of 0 in Data.ini became 10 at the first tool-bar click.
drv click-tool Quillane 工具条1 3 >/dev/null
check "开启回复 with the wait time reaches shop 2" yes "$(has_line "$c2" $'开启回复\t10')"
check "the start notice in the status bar" "店铺2已启动" "$(wait_status 店铺2已启动)"
drv click-tool Quillane 工具条1 4 >/dev/null
check "停止回复 reaches shop 2" yes "$(has_line "$c2" $'停止回复\t')"
check "the stop notice in the status bar" "店铺2已停止" "$(wait_status 店铺2已停止)"

# A third shop, then delete shop 2 of three.
drv click-tool Quillane 工具条1 0 >/dev/null
check "three shops" "启动页 店铺1 店铺2 *店铺3" "$(tabs)"
for i in $(seq 1 100); do grep -q $'^子窗口句柄\t' "$work/client3.log" 2>/dev/null && break; sleep 0.1; done
dir2=$(tr -d '\r' <"$c2" | grep -m1 $'^子窗口句柄\t' | cut -f2 | cut -d'|' -f3)
drv select-tab Quillane 高级选择夹1 2 >/dev/null
drv click-tool Quillane 工具条1 1 >/dev/null
check "tabs renumbered, shop 1 current" "启动页 *店铺1 店铺2" "$(tabs)"
check "old shop 3 learns its new number 2" yes "$(has_line "$work/client3.log" $'子夹改变\t2')"
check "shop 1 is told its number 1" yes "$(has_line "$c1" $'子夹改变\t1')"
unixdir2=$(WINEDEBUG=-all winepath -u "$dir2" 2>/dev/null)
check "shop 2 announced a data folder" yes "$([ -n "$unixdir2" ] && echo yes || echo no)"
check "shop 2's data folder is removed" no "$([ -d "$unixdir2" ] && echo yes || echo no)"

# The old shop 3, now 2, still gets its own replies.
drv select-tab Quillane 高级选择夹1 2 >/dev/null
dir1=$(tr -d '\r' <"$c1" | grep -m1 $'^子窗口句柄\t' | cut -f2 | cut -d'|' -f3)
unixdir1=$(WINEDEBUG=-all winepath -u "$dir1" 2>/dev/null)
check "shop 1's data folder exists while running" yes "$([ -d "$unixdir1" ] && echo yes || echo no)"
exit_app
check "exit code 0 with shops open" 0 "$?"
check "shop 1's data folder is removed at exit" no "$([ -d "$unixdir1" ] && echo yes || echo no)"
check "the clients were told to stop at exit" yes "$(has_line "$c1" $'停止回复\t')"

echo "$fails failed"
exit $((fails > 0))
