#!/usr/bin/env bash
# Rules in and out of the real Quillane.exe under Wine as CSV files, through
# the settings window's 导入规则… and 导出规则… and the system's open and save
# dialogs, driven by uidriver.exe: the start page's hint while there are no
# rules, an import with its summary, a refused file that names its line and
# leaves the list alone, an import appended to the list, the save, an export
# that writes the list as shown (and says so when the file is held by
# another program), and the example rules replacing the list. With QUILLANE_E2E_SHOTS set to a folder, pictures of
# the screen land there.
# Run by wine-run.sh (WINEPREFIX, DISPLAY, LANG, QUILLANE_WIN64_BIN set).
set -u
. "$(dirname "$0")/../checks.sh"
box() { echo $(drv answer-box "$1" | tr -d '\r'); }  # title and text on one line
rows() { drv row-count 设置 超级列表框_列表 | tr -d '\r'; }
row() { drv get-row 设置 超级列表框_列表 "$1" | tr -d '\r' | tr '\t' '/'; }
hint() { drv get-text Quillane 透明标签_规则提示 | tr -d '\r' | head -n 1; }
shot() { [ -n "${QUILLANE_E2E_SHOTS:-}" ] && sleep 3 && import -window root "$QUILLANE_E2E_SHOTS/$1.png"; }
# Clicks a button that opens a dialog and chooses the file in it.
choose() { # button dialog-title file
  drv click 设置 "$1" >/dev/null
  drv choose-file "$2" "$3" || echo "FAIL the dialog $2 did not take $3: $(tail -n 1 "$work/uidriver.err")"
}
contains() { case "$1" in *"$2"*) echo yes ;; *) echo "no: $1" ;; esac; }

echo "locale: $LANG"
dir=$work/app
mkdir -p "$dir"
cp "$bin/Quillane.exe" "$dir/"

( cd "$dir" && exec "$wine" "$dir/Quillane.exe" ) &
app=$!
drv --timeout 40000 wait-window Quillane >/dev/null || { echo "FAIL Quillane did not open"; exit 1; }
check "with no rules the start page says how to add them" yes "$(contains "$(hint)" 还没有回复规则)"
shot start-page

drv click-tool Quillane 工具条1 8 >/dev/null
drv wait-window 设置 >/dev/null || echo "FAIL the settings window did not open"
sleep 1

# --- Import into the empty list: a GBK file as Excel saves it ----------------------
printf '关键词,回复语,匹配规则,匹配码\r\n在吗|在不,在的,包含,5\r\n发货,"今天发,明天到",contains,-3\r\n退货,七天无理由,完全匹配,２\r\n' |
  iconv -f UTF-8 -t GBK >"$work/rules.csv"
choose 按钮_导入规则 导入规则 "$(winpath "$work/rules.csv")"
summary=$(box OK)
check "the summary counts the rules" yes "$(contains "$summary" "导入规则 将导入 3 条规则")"
check "and names the line of its note" yes "$(contains "$summary" "第 3 行：匹配规则“contains”")"
check "the rows are in the list as read" "3 在吗|在不/在的/包含/5 发货/今天发,明天到/contains/-3 退货/七天无理由/完全匹配/2" \
  "$(rows) $(row 0) $(row 1) $(row 2)"
shot settings-imported

# --- A file that cannot be read whole changes nothing -------------------------------
printf '关键词,回复语,匹配规则,匹配码\r\n甲,乙,包含,1\r\n丙,丁,包含,abc\r\n' >"$work/bad.csv"
choose 按钮_导入规则 导入规则 "$(winpath "$work/bad.csv")"
refusal=$(box OK)
check "a refusal names its line" yes "$(contains "$refusal" "第 3 行：匹配码“abc”不是整数")"
check "and says the list is unchanged" yes "$(contains "$refusal" 列表没有改动)"
check "the list keeps its rows" 3 "$(rows)"

# --- Appending to a list with rows --------------------------------------------------
printf '\xEF\xBB\xBFkeyword,reply,match,code\r\n优惠,"满100减10\r\n限今天",包含,9\r\n' >"$work/more.csv"
choose 按钮_导入规则 导入规则 "$(winpath "$work/more.csv")"
shot import-question
question=$(box NO)
check "with rows in the list it asks: replace or append" yes "$(contains "$question" "列表中现有 3 条规则")"
check "No appends" "4 优惠/满100减10 限今天/包含/9" "$(rows) $(row 3 | tr '\n' ' ' | sed 's/ $//')"
drv click 设置 按钮_保存 >/dev/null
check "保存 stores the imported rules" "提示 保存成功！" "$(box OK)"
check "the start page no longer shows the hint" "" "$(hint)"

# --- Export writes the list as shown ----------------------------------------------
choose 按钮_导出规则 导出规则 "$(winpath "$work/out.csv")"
check "the export says what it wrote" "导出规则 已导出 4 条规则到 $(winpath "$work/out.csv")。" "$(box OK)"
printf '关键词,回复语,匹配规则,匹配码\r\n在吗|在不,在的,包含,5\r\n发货,"今天发,明天到",contains,-3\r\n退货,七天无理由,完全匹配,2\r\n优惠,"满100减10\r\n限今天",包含,9\r\n' >"$work/expected.csv"
check "out.csv is UTF-8 with a byte-order mark and CRLF, the list's rows" same \
  "$(cmp -s <(printf '\xEF\xBB\xBF'; cat "$work/expected.csv") "$work/out.csv" && echo same || echo differs)"

# The file open in another program (as a spreadsheet holds it): said, untouched.
: >"$work/hold.out"
"$wine" "$bin/holdfile.exe" "$(winpath "$work/out.csv")" exclusive 60000 >"$work/hold.out" 2>/dev/null &
wait_line "$work/hold.out" held || echo "FAIL holdfile could not open out.csv: $(cat "$work/hold.out")"
cp "$work/out.csv" "$work/before.csv"
choose 按钮_导出规则 导出规则 "$(winpath "$work/out.csv")"
check "the save dialog asks before replacing out.csv" yes "$(contains "$(box YES)" 导出规则)"
held=$(box OK)
check "a held file is named as in use" yes "$(contains "$held" "正被其他程序（例如 Excel 或 WPS）占用")"
check "and keeps its bytes" same "$(cmp -s "$work/before.csv" "$work/out.csv" && echo same || echo differs)"
check "and nothing is left beside it" no "$(ls "$work" | grep -q saving && echo yes || echo no)"
touch "$work/out.csv.release"

# The example rules the release ships, as the start page's hint suggests; Yes
# replaces the list.
example=$(cd "$(dirname "$0")/../../../examples" && pwd)/rules.csv
choose 按钮_导入规则 导入规则 "$(winpath "$example")"
check "the example rules import whole" yes "$(contains "$(box YES)" "将导入 $(($(wc -l <"$example") - 1)) 条规则")"
check "Yes replaces the list with them" "$(($(wc -l <"$example") - 1))" "$(rows)"

# A cancelled dialog changes nothing and asks nothing.
drv click 设置 按钮_导入规则 >/dev/null
drv choose-file 导入规则 CANCEL
check "a cancelled import leaves the list" "$(($(wc -l <"$example") - 1))" "$(rows)"

drv close 设置 >/dev/null
drv wait-gone 设置 >/dev/null
drv close Quillane >/dev/null
drv answer-box OK >/dev/null
wait "$app"
app=""

echo "$fails failed"
exit $((fails > 0))
