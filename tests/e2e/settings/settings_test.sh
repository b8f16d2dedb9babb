#!/usr/bin/env bash
# The settings window of the real Quillane.exe under Wine, driven through
# uidriver.exe: the first Data.ini, the waiting time kept at 5 or more,
# adding, changing and deleting rules, saving, a Browser.exe client answered
# by a saved rule, codes after a reload, saves that fail, a reply too long for
# the rule table, saves while other programs read the tables, and 保存 pressed
# while 3,000 rules are still loading.
# Run by wine-run.sh (WINEPREFIX, DISPLAY, LANG, QUILLANE_WIN64_BIN set).
set -u
. "$(dirname "$0")/../checks.sh"
box() { echo $(drv answer-box "$1" | tr -d '\r'); }  # title and text on one line
text() { drv get-text 设置 "$1" | tr -d '\r'; }
rows() { drv row-count 设置 超级列表框_列表 | tr -d '\r'; }
row() { drv get-row 设置 超级列表框_列表 "$1" | tr -d '\r' | tr '\t' '/'; }
open_settings() {
  drv click-tool Quillane 工具条1 8 >/dev/null
  drv wait-window 设置 >/dev/null || echo "FAIL the settings window did not open"
  sleep 1  # the load thread fills the window
}
close_settings() { drv close 设置 >/dev/null; drv wait-gone 设置 >/dev/null; }
enter() { # keywords reply rule-index code
  drv set-text 设置 编辑框_关键词 "$1" >/dev/null
  drv set-text 设置 编辑框_回复语 "$2" >/dev/null
  drv select-combo 设置 组合框_匹配规则 "$3" >/dev/null
  drv set-text 设置 编辑框_匹配码 "$4" >/dev/null
}

echo "locale: $LANG"
dir=$work/app
mkdir -p "$dir"
cp "$bin/Quillane.exe" "$bin/Browser.exe" "$dir/"
printf '新品\n' >"$work/script1.txt"
printf '新品\n发货\n' >"$work/script2.txt"
export QUILLANE_CLIENT_SCRIPT="$(winpath "$work")\\script{shop}.txt"
export QUILLANE_CLIENT_LOG="$(winpath "$work")\\client{shop}.log"
default_reply=亲非常抱歉，目前客服不在线哦，客服上线后会第一时间回复您哈。[拥抱]

( cd "$dir" && exec "$wine" "$dir/Quillane.exe" ) &
app=$!
drv --timeout 40000 wait-window Quillane >/dev/null || { echo "FAIL Quillane did not open"; exit 1; }
drv click-tool Quillane 工具条1 0 >/dev/null
check "before any rule shop 1 gets the default reply" yes "$(has_line "$work/client1.log" $'匹配回复内容\t'"$default_reply")"

# --- The first opening writes Data.ini ----------------------------------------
check "no Data.ini before the settings window" no "$([ -f "$dir/Data.ini" ] && echo yes || echo no)"
open_settings
printf '[Reply]\r\nDefault=%s\r\n[Wait]\r\nsecond=5\r\n' "$default_reply" | iconv -f UTF-8 -t GBK >"$work/default.ini"
check "Data.ini: the four default lines, 103 bytes" "103 same" \
  "$(stat -c %s "$dir/Data.ini") $(cmp -s "$dir/Data.ini" "$work/default.ini" && echo same || echo differs)"
check "the default reply shown" "$default_reply" "$(text 编辑框_默认回复内容)"
check "the waiting time shown" 5 "$(text 编辑框_回复时间)"
check "no rules yet" 0 "$(rows)"

# --- Editing the list -----------------------------------------------------------
enter "" "r" 0 "1"
drv click 设置 按钮_添加 >/dev/null
check "adding without keyword is refused" "提示 请输入关键词" "$(box OK)"
check "and leaves an empty row" "1 ///" "$(rows) $(row 0)"
enter "新品|上新" "新品已上架" 0 "007"
drv click 设置 按钮_修改 >/dev/null
check "修改 fills row 0 while no row was chosen" "新品|上新/新品已上架/包含/007" "$(row 0)"
enter "发货" "三天内发货" 1 "-3"
drv click 设置 按钮_添加 >/dev/null
enter "删我" "x" 0 "1"
drv click 设置 按钮_添加 >/dev/null
check "three rows" "3 发货/三天内发货/完全匹配/-3" "$(rows) $(row 1)"
drv select-row 设置 超级列表框_列表 1 >/dev/null
check "a chosen row is shown in the inputs" "发货 完全匹配 -3" \
  "$(text 编辑框_关键词) $(text 组合框_匹配规则) $(text 编辑框_匹配码)"
drv select-row 设置 超级列表框_列表 2 >/dev/null
drv click 设置 按钮_删除 >/dev/null
check "the delete question" "删除 确定要删除吗？" "$(box CANCEL)"
check "Cancel keeps the row" 3 "$(rows)"
drv click 设置 按钮_删除 >/dev/null
box OK >/dev/null
check "OK deletes it" "2 发货/三天内发货/完全匹配/-3" "$(rows) $(row 1)"

# --- Saving, and a client answered by the saved rules -------------------------------
drv set-text 设置 编辑框_默认回复内容 "稍等片刻" >/dev/null
drv click 设置 按钮_保存 >/dev/null
check "the save succeeds" "提示 保存成功！" "$(box OK)"
check "Data.ini holds the new values" "[Reply]|Default=稍等片刻|[Wait]|second=5|" \
  "$(iconv -f GBK -t UTF-8 "$dir/Data.ini" | tr -d '\r' | tr '\n' '|')"
check "no saving file is left" no "$([ -f "$dir/Database-saving.edb" ] && echo yes || echo no)"
drv click-tool Quillane 工具条1 0 >/dev/null
check "a new client is answered by the saved rule" yes "$(has_line "$work/client2.log" $'匹配回复内容\t新品已上架')"
check "and by the exact rule" yes "$(has_line "$work/client2.log" $'匹配回复内容\t三天内发货')"

close_settings
check "closing the window sets the status text" "载入设置中" "$(drv status-text Quillane 状态条1 1 | tr -d '\r')"

# --- Reloading: stored codes, a stored waiting time below 5 -------------------------
iconv -f GBK -t UTF-8 "$dir/Data.ini" | sed 's/^second=5/second=3/' | iconv -f UTF-8 -t GBK >"$work/ini" && cp "$work/ini" "$dir/Data.ini"
open_settings
check "codes after save and reload" "7 -3" "$(drv get-cell 设置 超级列表框_列表 0 3 | tr -d '\r') $(drv get-cell 设置 超级列表框_列表 1 3 | tr -d '\r')"
check "a stored waiting time of 3 is shown as 5" 5 "$(text 编辑框_回复时间)"
check "the saved default reply is shown" "稍等片刻" "$(text 编辑框_默认回复内容)"

# --- Saves that fail show their numbered message ---------------------------------------
mkdir "$dir/Database-saving.edb"
drv click 设置 按钮_保存 >/dev/null
check "the new rule table cannot be written" "提示 保存失败，请重试！-2" "$(box OK)"
rmdir "$dir/Database-saving.edb"
check "the rules are kept" 2 "$(rows)"
rm -f "$dir/Sorting.edb" && mkdir "$dir/Sorting.edb"
drv click 设置 按钮_保存 >/dev/null
check "the sorted copy cannot be written" "提示 排序保存失败，请重试！-6" "$(box OK)"
rmdir "$dir/Sorting.edb"
drv click 设置 按钮_保存 >/dev/null
check "saving again succeeds" "提示 保存成功！" "$(box OK)"
"$wine" "$bin/edbtool.exe" rules-to-csv "$(winpath "$dir/Database.edb")" "$(winpath "$work/saved.csv")" >/dev/null 2>&1
check "Database.edb holds the two rules" "新品|上新,新品已上架,包含,7|发货,三天内发货,完全匹配,-3|" \
  "$(tail -n +2 "$work/saved.csv" 2>/dev/null | tr -d '\r' | tr '\n' '|')"

# --- A text longer than the rule table holds is refused, not cut ---------------
long_reply=$(printf '字%.0s' $(seq 1 1500))
enter "长回复" "$long_reply" 0 "1"
drv click 设置 按钮_添加 >/dev/null
check "a 1,500-character reply is refused with its limit" \
  "提示 回复语最长 1024 字节（约 512 个汉字），现为 3000 字节，请缩短后再添加。" "$(box OK)"
check "and nothing is added" 2 "$(rows)"

# --- Saving while other programs read both tables ---------------------------------
hold() { # file mode milliseconds out
  "$wine" "$bin/holdfile.exe" "$(winpath "$1")" "$2" "$3" >"$4" 2>/dev/null &
  wait_line "$4" held || echo "FAIL holdfile could not open $1: $(cat "$4")"
}
hold "$dir/Database.edb" shared 60000 "$work/hold1.out"
hold "$dir/Sorting.edb" shared 60000 "$work/hold2.out"
enter "退货" "七天无理由退货" 0 "2"
drv click 设置 按钮_添加 >/dev/null
drv click 设置 按钮_保存 >/dev/null
check "a save while both tables are held open for reading succeeds" "提示 保存成功！" "$(box OK)"
"$wine" "$bin/edbtool.exe" rules-to-csv "$(winpath "$dir/Database.edb")" "$(winpath "$work/saved2.csv")" >/dev/null 2>&1
check "Database.edb holds the three rules" "3 退货,七天无理由退货,包含,2" \
  "$(tail -n +2 "$work/saved2.csv" 2>/dev/null | tr -d '\r' | wc -l) $(tail -n 1 "$work/saved2.csv" 2>/dev/null | tr -d '\r')"
printf '退货\n' >"$work/script3.txt"
drv click-tool Quillane 工具条1 0 >/dev/null
check "the next customer is answered by the new rule" yes "$(has_line "$work/client3.log" $'匹配回复内容\t七天无理由退货')"
touch "$dir/Database.edb.release" "$dir/Sorting.edb.release"

close_settings
drv close Quillane >/dev/null
drv answer-box OK >/dev/null
wait "$app"
check "exit code 0" 0 "$?"
app=""

# --- 保存 pressed right after opening the window on 3,000 rules -------------------
big=$work/big
mkdir -p "$big"
cp "$bin/Quillane.exe" "$big/"
{ echo '关键词,回复语,匹配规则,匹配码'; for i in $(seq 1 3000); do echo "词$i,回复$i,包含,$((i % 7))"; done; } >"$work/big.csv"
"$wine" "$bin/edbtool.exe" rules-from-csv "$(winpath "$work/big.csv")" "$(winpath "$big/Database.edb")" >/dev/null 2>&1
( cd "$big" && exec "$wine" "$big/Quillane.exe" ) &
app=$!
drv --timeout 40000 wait-window Quillane >/dev/null || { echo "FAIL Quillane did not open in $big"; exit 1; }
drv click-tool Quillane 工具条1 8 >/dev/null
drv wait-window 设置 >/dev/null
if drv click 设置 按钮_保存 >/dev/null; then
  echo "     (the list had loaded before the press)"
  check "the save after the whole list" "提示 保存成功！" "$(box OK)"
else
  echo "     (保存 was unavailable while the list loaded)"
fi
for i in $(seq 1 100); do [ "$(drv state 设置 按钮_保存 | cut -f1 | tr -d '\r')" == enabled ] && break; sleep 0.2; done
check "保存 is available once the list has loaded" "enabled 保存" \
  "$(drv state 设置 按钮_保存 | cut -f1 | tr -d '\r') $(text 按钮_保存)"
check "the window shows all 3,000 rules" "3000 词3000/回复3000/包含/4" "$(rows) $(row 2999)"
drv click 设置 按钮_保存 >/dev/null
check "saving the loaded list succeeds" "提示 保存成功！" "$(box OK)"
"$wine" "$bin/edbtool.exe" rules-to-csv "$(winpath "$big/Database.edb")" "$(winpath "$work/big-saved.csv")" >/dev/null 2>&1
check "the saved table equals the list: all 3,000 rules in order" same \
  "$(tail -n +2 "$work/big-saved.csv" | tr -d '\r' | cmp -s - <(tail -n +2 "$work/big.csv") && echo same || echo differs)"
close_settings
drv close Quillane >/dev/null
drv answer-box OK >/dev/null
wait "$app"
app=""

echo "$fails failed"
exit $((fails > 0))
