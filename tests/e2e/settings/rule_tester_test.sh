#!/usr/bin/env bash
# The rule tester and the rule checks of the real Quillane.exe's settings
# window under Wine, driven through uidriver.exe: rules entered but not saved
# answer a test text in the order of their match codes, the answering row is
# selected and shown in the inputs, a text no rule answers gets the default
# reply, 检查规则 names the rows, and after 保存 a shop client gets the reply
# the tester showed. With QUILLANE_E2E_SHOTS set to a folder, pictures of the
# screen land there.
# Run by wine-run.sh (WINEPREFIX, DISPLAY, LANG, QUILLANE_WIN64_BIN set).
set -u
. "$(dirname "$0")/../checks.sh"
box() { echo $(drv answer-box "$1" | tr -d '\r'); }  # title and text on one line
text() { drv get-text 设置 "$1" | tr -d '\r'; }
shot() { [ -n "${QUILLANE_E2E_SHOTS:-}" ] && sleep 3 && import -window root "$QUILLANE_E2E_SHOTS/$1.png"; }
contains() { case "$1" in *"$2"*) echo yes ;; *) echo "no: $1" ;; esac; }
enter() { # keywords reply rule-index code
  drv set-text 设置 编辑框_关键词 "$1" >/dev/null
  drv set-text 设置 编辑框_回复语 "$2" >/dev/null
  drv select-combo 设置 组合框_匹配规则 "$3" >/dev/null
  drv set-text 设置 编辑框_匹配码 "$4" >/dev/null
  drv click 设置 按钮_添加 >/dev/null
}
test_text() { # customer text
  drv set-text 设置 编辑框_测试顾客消息 "$1" >/dev/null
  drv click 设置 按钮_测试 >/dev/null
}

echo "locale: $LANG"
dir=$work/app
mkdir -p "$dir"
cp "$bin/Quillane.exe" "$bin/Browser.exe" "$dir/"
printf '你好，在吗？\n' >"$work/script1.txt"
export QUILLANE_CLIENT_SCRIPT="$(winpath "$work")\\script{shop}.txt"
export QUILLANE_CLIENT_LOG="$(winpath "$work")\\client{shop}.log"
default_reply=亲非常抱歉，目前客服不在线哦，客服上线后会第一时间回复您哈。[拥抱]

( cd "$dir" && exec "$wine" "$dir/Quillane.exe" ) &
app=$!
drv --timeout 40000 wait-window Quillane >/dev/null || { echo "FAIL Quillane did not open"; exit 1; }
drv click-tool Quillane 工具条1 8 >/dev/null
drv wait-window 设置 >/dev/null || echo "FAIL the settings window did not open"
sleep 1

# Four rules, none saved. 在 (消息中包含, code 9) is tried before the rows
# above it; the second 发货 never answers.
enter "在吗|在不" "在的亲" 0 1
enter "发货" "今天发" 1 3
enter "在" "高码回复" 2 9
enter "发货" "后一条" 1 0
drv select-row 设置 超级列表框_列表 0 >/dev/null

test_text "你好，在吗？"
shot settings-tester-box
answer=$(box OK)
check "the tester names the row, keyword and rule" yes \
  "$(contains "$answer" "规则测试 第 3 行的规则回复这条消息 关键词：“在”（消息中包含，匹配码 9）")"
check "and the reply that would be sent" yes "$(contains "$answer" "将发送的回复： 高码回复")"
check "the answering row is selected" 2 "$(drv selected-row 设置 超级列表框_列表 | tr -d '\r')"
check "and shown in the inputs" "在 高码回复 消息中包含 9" \
  "$(text 编辑框_关键词) $(text 编辑框_回复语) $(text 组合框_匹配规则) $(text 编辑框_匹配码)"
shot settings-tester

test_text "您好"
check "no rule: the default reply" yes \
  "$(contains "$(box OK)" "规则测试 没有规则匹配，将发送默认回复： $default_reply")"
check "and the selection stays" 2 "$(drv selected-row 设置 超级列表框_列表 | tr -d '\r')"

drv click 设置 按钮_检查规则 >/dev/null
shot settings-checks-box
checks=$(box OK)
check "the checks count their findings" yes "$(contains "$checks" "检查规则 发现 2 个问题")"
check "a shared keyword and the row that answers it" yes \
  "$(contains "$checks" "第 2 行：关键词“发货”也在第 4 行，由第 2 行回复")"
check "a rule that never answers" yes \
  "$(contains "$checks" "第 4 行：永远不会回复，它能匹配的消息都先由第 2 行回复")"

# Saved, the rules answer a shop client as the tester said.
drv click 设置 按钮_保存 >/dev/null
check "the save succeeds" "提示 保存成功！" "$(box OK)"
drv click-tool Quillane 工具条1 0 >/dev/null
check "a client gets the reply the tester showed" yes \
  "$(has_line "$work/client1.log" $'匹配回复内容\t高码回复')"

drv close 设置 >/dev/null
drv wait-gone 设置 >/dev/null
drv close Quillane >/dev/null
drv answer-box OK >/dev/null
wait "$app"
app=""

echo "$fails failed"
exit $((fails > 0))
