#!/usr/bin/env bash
# The real Quillane.exe with real Browser.exe clients in scripted mode under
# Wine, driven from outside through uidriver.exe: the first start, one
# Quillane per folder, shops and their replies, notices, deleting a shop, a
# missing Browser.exe, exit, and starts on rule tables that cannot be used
# as they are (read-only, truncated, held by another program, no sorted copy).
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

# One Quillane per folder: a second start in the same folder (spelled in
# other letter case) says so, ends, and brings the running window to the front.
drv click-tool Quillane 工具条1 8 >/dev/null
drv wait-window 设置 >/dev/null
check "the settings window is in front" 设置 "$(drv foreground | tr -d '\r')"
upper=${first^^}
"$wine" "$(winpath "$upper")\\QUILLANE.EXE" &
second=$!
check "a second start in the folder says so" \
  "启动 Quillane 已在这个文件夹中运行： $(winpath "$upper") 同一文件夹只能运行一个 Quillane，否则两者会争用规则文件。 点击“确定”后将切换到正在运行的窗口。" \
  "$(echo $(drv answer-box OK | tr -d '\r'))"
wait "$second"
check "and ends without a window of its own" "0 1" "$? $(drv count-windows Quillane | tr -d '\r')"
for i in $(seq 1 50); do [ "$(drv foreground | tr -d '\r')" == Quillane ] && break; sleep 0.1; done
check "the running main window comes to the front" Quillane "$(drv foreground | tr -d '\r')"
close_settings() { drv close 设置 >/dev/null; drv wait-gone 设置 >/dev/null; }
close_settings

# Exit with Cancel keeps it running; OK ends it with exit code 0.
drv close Quillane >/dev/null
box=$(drv answer-box CANCEL | tr -d '\r')
check "the exit question" "退出 确定退出吗？" "$(echo $box)"
check "Cancel keeps Quillane running" 1 "$(drv count-windows Quillane | tr -d '\r')"

# Quillane in another folder starts beside it.
other=$work/other
mkdir -p "$other"
cp "$bin/Quillane.exe" "$other/"
( cd "$other" && exec "$wine" "$other/Quillane.exe" ) &
app2=$!
for i in $(seq 1 100); do [ "$(drv count-windows Quillane | tr -d '\r')" == 2 ] && break; sleep 0.2; done
check "Quillane in another folder starts normally" 2 "$(drv count-windows Quillane | tr -d '\r')"
drv close Quillane >/dev/null
drv answer-box OK >/dev/null
drv close Quillane >/dev/null
drv answer-box OK >/dev/null
wait "$app2"
rc2=$?
wait "$app"
check "OK ends both with exit code 0" "0 0" "$? $rc2"
app=""

# --- Shops and replies -------------------------------------------------------
shop=$work/shop
mkdir -p "$shop"
cp "$bin/Quillane.exe" "$bin/Browser.exe" "$shop/"
printf '关键词,回复语,匹配规则,匹配码\r\n在吗|在不,在的亲,包含,5\r\n发货,48小时内发货,完全匹配,9\r\n空,"　　",包含,1\r\n包邮|运费,满99包邮,消息中包含,3\r\n' >"$work/rules.csv"
"$wine" "$bin/edbtool.exe" rules-from-csv "$(winpath "$work/rules.csv")" "$(winpath "$shop/Database.edb")" >/dev/null 2>&1
printf '[Reply]\r\nDefault=默认回复|$\r\n[Wait]\r\nsecond=0\r\n' | iconv -f UTF-8 -t GBK >"$shop/Data.ini"
printf '在\n你好\n' >"$work/script1.txt"
printf '发货\n空\n亲，这个包邮吗？\n' >"$work/script2.txt"
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
check "a 消息中包含 rule answers a sentence holding its keyword" yes "$(has_line "$c2" $'匹配回复内容\t满99包邮')"
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
# edbtool while Quillane runs: refused, the table untouched and nothing
# written beside it; once Quillane has ended, the import keeps the old table.
cp "$shop/Database.edb" "$work/shop-before.edb"
import_rules() { "$wine" "$bin/edbtool.exe" rules-from-csv "$(winpath "$work/rules.csv")" "$(winpath "$shop/Database.edb")" >"$work/import.out" 2>&1; }
import_rules
check "edbtool refuses while Quillane has the table" "8 yes" "$? $(grep -q Quillane "$work/import.out" && echo yes || echo no)"
check "the refused import leaves the table and its folder as they were" "same none" \
  "$(cmp -s "$shop/Database.edb" "$work/shop-before.edb" && echo same || echo differs) $(cd "$shop" && ls Database-*.edb 2>/dev/null || echo none)"
exit_app
check "exit code 0 with shops open" 0 "$?"
import_rules
rc=$?
backup=$(cd "$shop" && ls Database-2*.edb 2>/dev/null)
check "after exit the import runs and keeps the old table beside it" "0 same" \
  "$rc $(cmp -s "$shop/$backup" "$work/shop-before.edb" && echo same || echo differs)"
check "shop 1's data folder is removed at exit" no "$([ -d "$unixdir1" ] && echo yes || echo no)"
check "the clients were told to stop at exit" yes "$(has_line "$c1" $'停止回复\t')"

# --- Rule tables that cannot be used as they are ---------------------------------
# Each start must leave the original bytes as they were.
{ echo '关键词,回复语,匹配规则,匹配码'; for i in $(seq 1 20); do echo "词$i,回复$i,包含,$i"; done; } >"$work/20.csv"
"$wine" "$bin/edbtool.exe" rules-from-csv "$(winpath "$work/20.csv")" "$(winpath "$work/20.edb")" >/dev/null 2>&1
start_with_box() { # folder: starts Quillane there; box holds the box it shows first
  ( cd "$1" && exec "$wine" "$1/Quillane.exe" ) >/dev/null 2>&1 &
  app=$!
  box=$(echo $(drv --timeout 40000 answer-box OK | tr -d '\r'))
}

# Read-only: its rules serve, staff are told that saves will fail.
ro=$work/readonly
mkdir -p "$ro"
cp "$bin/Quillane.exe" "$work/20.edb" "$ro/" && mv "$ro/20.edb" "$ro/Database.edb"
cp "$ro/Database.edb" "$work/ro-original.edb"
chmod 444 "$ro/Database.edb"
start_with_box "$ro"
check "a read-only table: said, with its 20 rules" "启动 规则表 Database.edb 是只读文件，文件未做任何改动。 本次按其中的 20 条规则回复客户，但在设置窗口中保存会失败。 如需修改规则，请关闭本程序，去掉该文件的只读属性后重新启动。" "$box"
drv --timeout 40000 wait-window Quillane >/dev/null || echo "FAIL Quillane did not open on a read-only table"
exit_app
check "the read-only table keeps its bytes" same "$(cmp -s "$ro/Database.edb" "$work/ro-original.edb" && echo same || echo differs)"

# A truncated copy of the 20-rule table: kept beside it, its whole rule used.
cut=$work/truncated
mkdir -p "$cut"
cp "$bin/Quillane.exe" "$cut/"
head -c 2000 "$work/20.edb" >"$cut/Database.edb"
cp "$cut/Database.edb" "$work/cut-original.edb"
start_with_box "$cut"
kept=$(cd "$cut" && ls Database-damaged-*.edb 2>/dev/null)
check "a truncated table: said, with the rules read and the copy's name" "启动 规则表 Database.edb 已损坏：文件比它记录的规则数短，只读出了 1 条完整的规则。 原文件已原样保留为 $kept，Database.edb 未做任何改动。 本次按读出的 1 条规则回复客户；在设置窗口中保存后，Database.edb 将只含这些规则。" "$box"
drv --timeout 40000 wait-window Quillane >/dev/null || echo "FAIL Quillane did not open on a truncated table"
exit_app
check "the truncated table keeps its bytes, and so does its copy" "same same" \
  "$(cmp -s "$cut/Database.edb" "$work/cut-original.edb" && echo same || echo differs) $(cmp -s "$cut/$kept" "$work/cut-original.edb" && echo same || echo differs)"

# Held by another program that lets nobody in: no start, the file untouched.
held=$work/held
mkdir -p "$held"
cp "$bin/Quillane.exe" "$work/20.edb" "$held/" && mv "$held/20.edb" "$held/Database.edb"
"$wine" "$bin/holdfile.exe" "$(winpath "$held/Database.edb")" exclusive 60000 >"$work/hold.out" 2>/dev/null &
wait_line "$work/hold.out" held || echo "FAIL holdfile could not open the table"
start_with_box "$held"
check "a table held by another program: said, and no start" "启动失败 规则表 Database.edb 正被其他程序占用（访问文件时产生共享冲突），文件未做任何改动。 请关闭正在使用该文件的程序后重新启动本程序。" "$box"
wait "$app"
check "Quillane ends without a window" "0 0" "$? $(drv count-windows Quillane | tr -d '\r')"
app=""
touch "$held/Database.edb.release"
check "the held table keeps its bytes" same "$(cmp -s "$held/Database.edb" "$work/20.edb" && echo same || echo differs)"

# --- A sorted copy that cannot be made: said, and the rules still answer ------------
nosort=$work/nosort
mkdir -p "$nosort/Sorting.edb"
cp "$bin/Quillane.exe" "$bin/Browser.exe" "$work/20.edb" "$nosort/" && mv "$nosort/20.edb" "$nosort/Database.edb"
printf '词7\n' >"$work/script1.txt"
rm -f "$work/client1.log"
start_app "$nosort"
check "the status bar says the sorted copy could not be made" "排序文件 Sorting.edb 未能重建（指定文件不能被访问），仍按规则表回复客户" "$(status)"
drv click-tool Quillane 工具条1 0 >/dev/null
check "a customer is still answered by the rules" yes "$(has_line "$work/client1.log" $'匹配回复内容\t回复7')"
exit_app

echo "$fails failed"
exit $((fails > 0))
