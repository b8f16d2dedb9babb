#!/usr/bin/env bash
# Checks edbtool end to end: CSV in, dump, CSV out, sort, failures.
# Usage: edbtool_test.sh PATH-TO-edbtool | wine:edbtool.exe
set -u
if [[ "$1" == wine:* ]]; then
  tool=("${QUILLANE_WINE:-wine}" "$QUILLANE_WIN64_BIN/${1#wine:}")
else
  tool=("$1")
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fails=0 passes=0
check() { # name condition...
  local name=$1; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAIL: $name" >&2; fails=$((fails + 1)); fi
}

# Rules with a comma, a doubled quote, a line break, Chinese and a code with letters.
printf '%s\r\n' '关键词,回复语,匹配规则,匹配码' \
  '在吗|您好,"在的，亲",包含,5' \
  '"a,b","say ""hi""",完全匹配,9' \
  '"two' 'lines",x,包含,5' \
  ' 空格 ,y,包含,12abc' > rules.csv
"${tool[@]}" rules-from-csv rules.csv '规则.edb' 2>err.txt
check "rules-from-csv succeeds" test $? -eq 0
check "the table is the stored layout" test "$(( $(stat -c %s '规则.edb') ))" -eq $((404 + 4 * 1300))

"${tool[@]}" dump '规则.edb' --password 620418537 >dump.json 2>err.txt
check "dump succeeds" test $? -eq 0
check "dump is the expected JSON" python3 - <<'PY'
import json
d = json.load(open("dump.json", encoding="utf-8"))
names = [f["name"] for f in d["fields"]]
assert names == ["关键词", "回复语", "匹配规则", "匹配码"], names
assert d["fields"][3]["width"] == 0 and d["fields"][0]["width"] == 256
r = d["records"]
assert [x["serial"] for x in r] == [1, 2, 3, 4]
assert r[0]["values"] == ["在吗|您好", "在的，亲", "包含", 5], r[0]
assert r[1]["values"] == ["a,b", 'say "hi"', "完全匹配", 9], r[1]
assert r[2]["values"][0].replace("\r\n", "\n") == "two\nlines"
assert r[3]["values"] == [" 空格 ", "y", "包含", 12], r[3]
PY

"${tool[@]}" rules-to-csv '规则.edb' back.csv 2>err.txt
check "rules-to-csv succeeds" test $? -eq 0
check "CSV round trip keeps the rules" python3 - <<'PY'
import csv
a = list(csv.reader(open("rules.csv", encoding="utf-8", newline="")))
b = list(csv.reader(open("back.csv", encoding="utf-8", newline="")))
a[4][3] = "12"
assert a == b, (a, b)
PY

"${tool[@]}" sort '规则.edb' sorted.edb 匹配码 --desc --password 620418537 2>err.txt
check "sort succeeds" test $? -eq 0
"${tool[@]}" dump sorted.edb --password 620418537 >sorted.json
check "sorted by match code, ties in quicksort order" python3 - <<'PY'
import json
r = json.load(open("sorted.json", encoding="utf-8"))["records"]
assert [x["values"][3] for x in r] == [12, 9, 5, 5], r
assert [x["serial"] for x in r] == [1, 2, 3, 4]
assert r[2]["values"][0].startswith("two") and r[3]["values"][0] == "在吗|您好", r
PY

"${tool[@]}" dump '规则.edb' --password wrong >/dev/null 2>err.txt
check "a wrong password exits 1" test $? -eq 1
check "the engine's code and text on stderr" grep -q -- '-78 未提供数据库访问密码或提供了错误的密码' err.txt
"${tool[@]}" dump missing.edb >/dev/null 2>err.txt
check "a missing file exits 1 with -3" test $? -eq 1
check "missing file text" grep -q -- '-3 指定文件未找到' err.txt
"${tool[@]}" sort '规则.edb' out.edb 回复语x --password 620418537 2>err.txt
check "a missing key field exits 1 with -71" grep -q -- '-71' err.txt

echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
