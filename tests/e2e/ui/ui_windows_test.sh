#!/usr/bin/env bash
# Opens both windows of the window definitions in ui_stub_app.exe (stub
# handlers) under Wine and checks them from outside through uidriver.exe.
# Run by wine-run.sh (WINEPREFIX, DISPLAY, LANG, QUILLANE_WIN64_BIN set).
set -u
. "$(dirname "$0")/../checks.sh"
log=$work/ui.log
: >"$log"
export QUILLANE_UI_LOG="$(winpath "$log")"
refused() { # description command...: the driver must refuse with exit code 1
  local d=$1; shift
  drv "$@" >/dev/null
  check "$d" 1 "$?"
}
logged() { # description line: the stub handlers wrote this line
  local i
  for i in $(seq 1 50); do grep -qxF "$2" "$log" && break; sleep 0.1; done
  check "$1" yes "$(grep -qxF "$2" "$log" && echo yes || echo no)"
}

echo "locale: $LANG"
"$wine" "$bin/ui_stub_app.exe" &
app=$!
drv --timeout 30000 wait-window Quillane || { echo "FAIL the main window did not open"; exit 1; }

# The main window.
items=$(drv toolbar-items Quillane 工具条1)
check "seven visible tool-bar items" 7 "$(grep -c $'\tvisible\t' <<<"$items")"
check "tool-bar captions" "添加店铺 删除店铺 - 启动回复 停止回复 全部启动 全部停止 - 设置" "$(cut -f2 <<<"$items" | tr '\n' ' ' | sed 's/ $//')"
check "buttons 5 and 6 hidden" "5 6" "$(awk -F'\t' '$3=="hidden"{print $1}' <<<"$items" | tr '\n' ' ' | sed 's/ $//')"
check "status bar part 0" "状态：" "$(drv status-text Quillane 状态条1 0)"
check "status bar part 1" "欢迎使用" "$(drv status-text Quillane 状态条1 1)"
check "main tabs" $'*\t启动页' "$(drv tabs Quillane 高级选择夹1)"
refused "a separator cannot be clicked" click-tool Quillane 工具条1 2
refused "a hidden button cannot be clicked" click-tool Quillane 工具条1 5
check "the driver times out on a window that is not open" 2 "$(drv --timeout 300 wait-window 设置 >/dev/null; echo $?)"
refused "the driver refuses an unknown window" wait-window NoSuchWindow
refused "the driver refuses an unknown control" get-text Quillane 没有这个

# 设置 opens the settings window and reports index 8.
drv click-tool Quillane 工具条1 8
drv wait-window 设置
logged "a click on 设置 reports index 8" "toolbar 8"
check "settings tabs: only 设置" $'*\t设置' "$(drv tabs 设置 高级选择夹1)"
check "initial wait time" "5" "$(drv get-text 设置 编辑框_回复时间)"
check "initial match code" "1" "$(drv get-text 设置 编辑框_匹配码)"
check "initial keywords" "在吗|在不|您好" "$(drv get-text 设置 编辑框_关键词)"
check "initial default reply" "亲非常抱歉，目前客服不在线哦，客服上线后会第一时间回复您哈。[拥抱]" "$(drv get-text 设置 编辑框_默认回复内容)"
check "initial match rule" "包含" "$(drv get-text 设置 组合框_匹配规则)"
check "group box caption" "关键词回复" "$(drv get-text 设置 分组框_关键词)"
check "separator button caption" "“|”" "$(drv get-text 设置 按钮_输入分割符)"
check "the list starts empty" "0" "$(drv row-count 设置 超级列表框_列表)"
logged "a worker thread read the wait time" "worker read 5"
check "a worker thread wrote the main status bar" "设置已载入" "$(drv status-text Quillane 状态条1 1)"

# Whole-number fields refuse letters and take digits and "-".
drv type 设置 编辑框_回复时间 "a1-Zb"
check "letters refused in 编辑框_回复时间" "51-" "$(drv get-text 设置 编辑框_回复时间)"
drv type 设置 编辑框_匹配码 "x9-"
check "letters refused in 编辑框_匹配码" "19-" "$(drv get-text 设置 编辑框_匹配码)"
logged "typing raises TextChanged" "wait 51-"
drv type 设置 编辑框_关键词 "ab"
check "letters accepted in 编辑框_关键词" "在吗|在不|您好ab" "$(drv get-text 设置 编辑框_关键词)"
drv set-text 设置 编辑框_关键词 "在吗"
drv click 设置 按钮_输入分割符
check "the separator button appends |" "在吗|" "$(drv get-text 设置 编辑框_关键词)"

check "按钮_表情 is disabled" $'disabled\tvisible' "$(drv state 设置 按钮_表情)"
refused "按钮_表情 cannot be clicked" click 设置 按钮_表情

# A second load activates the open window instead of building another.
drv click-tool Quillane 工具条1 8
logged "second click seen" "toolbar 8"
sleep 0.3
check "one settings window" 1 "$(drv count-windows 设置)"
check "built once" 1 "$(grep -c '^settings built' "$log")"

# Rows and cells of the report list.
drv set-text 设置 编辑框_回复语 "您好，在的"
drv select-combo 设置 组合框_匹配规则 1
drv click 设置 按钮_添加
check "a row was added" "1" "$(drv row-count 设置 超级列表框_列表)"
check "row cells" $'在吗|\t您好，在的\t完全匹配\t19-' "$(drv get-row 设置 超级列表框_列表 0)"
check "one cell" "完全匹配" "$(drv get-cell 设置 超级列表框_列表 0 2)"
drv select-row 设置 超级列表框_列表 0
logged "selecting a row raises RowChanged" "row 0"

# Tabs of the main window.
drv click-tool Quillane 工具条1 0
check "a shop tab" $' \t启动页\n*\t店铺1' "$(drv tabs Quillane 高级选择夹1)"
drv select-tab Quillane 高级选择夹1 0
logged "clicking a tab raises PageChanged" "page 0"
check "start page current again" $'*\t启动页\n \t店铺1' "$(drv tabs Quillane 高级选择夹1)"

# Closing: the settings window never asks; the main window asks.
drv close 设置
drv wait-gone 设置
check "settings Destroying ran" "载入设置中" "$(drv status-text Quillane 状态条1 1)"
drv close Quillane
check "the exit question" $'退出\n确定退出吗？' "$(drv answer-box CANCEL)"
sleep 0.3
check "Cancel keeps the program running" 1 "$(drv count-windows Quillane)"
drv close Quillane
drv answer-box OK >/dev/null
for i in $(seq 1 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
wait $app
check "the program ended with 0" 0 "$?"
logged "ShutDown ran" "shutdown"

if [ -s "$work/uidriver.err" ]; then echo "uidriver said:"; sed 's/^/  /' "$work/uidriver.err"; fi
[ $fails -eq 0 ] && echo "all checks passed" || echo "$fails check(s) failed"
[ $fails -eq 0 ]
