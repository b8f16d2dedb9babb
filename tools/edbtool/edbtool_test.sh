#!/usr/bin/env bash
# Checks edbtool end to end: CSV in, dump, CSV out, sort, failures with
# their causes and exit codes; under Wine also the refusal while another
# program (Quillane) holds the rule table open.
# Usage: edbtool_test.sh PATH-TO-edbtool | wine:edbtool.exe
set -u
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
wine=""
if [[ "$1" == wine:* ]]; then
  wine=${QUILLANE_WINE:-wine}
  tool=("$wine" "$QUILLANE_WIN64_BIN/${1#wine:}")
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
  ' 空格 ,y,包含,12' > rules.csv
"${tool[@]}" rules-from-csv rules.csv '规则.edb' >/dev/null 2>err.txt
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

"${tool[@]}" rules-to-csv '规则.edb' back.csv >/dev/null 2>err.txt
check "rules-to-csv succeeds" test $? -eq 0
check "CSV round trip keeps the rules" python3 - <<'PY'
import csv
a = list(csv.reader(open("rules.csv", encoding="utf-8", newline="")))
b = list(csv.reader(open("back.csv", encoding="utf-8-sig", newline="")))
assert a == b, (a, b)
raw = open("back.csv", "rb").read()
assert raw.startswith(b"\xef\xbb\xbf"), raw[:8]
assert raw.count(b"\r\n") == 5 + 1, raw  # CRLF line ends (one inside a cell)
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

"${tool[@]}" dump '规则.edb' >dump2.json 2>err.txt
check "dump opens a rule table without --password" cmp -s dump.json dump2.json

# Failures name their cause (in English or Chinese, as the user's language
# is) and exit with the code of their kind.
expect_failure() { # name exit-code pattern command...
  local name=$1 code=$2 pattern=$3; shift 3
  "$@" >/dev/null 2>err.txt </dev/null
  local rc=$?
  check "$name exits $code (got $rc)" test "$rc" -eq "$code"
  check "$name says so: $(head -c 200 err.txt)" grep -qE -- "$pattern" err.txt
}
expect_failure "a wrong password" 6 'wrong password|密码不对' "${tool[@]}" dump '规则.edb' --password wrong
expect_failure "a missing table" 3 'file not found: missing.edb|找不到文件 missing.edb' "${tool[@]}" dump missing.edb
expect_failure "a missing CSV file" 3 'not found|找不到' "${tool[@]}" rules-from-csv 不存在.csv '规则.edb'
echo 'not a table' >plain.edb
expect_failure "a file that is no table" 5 'not a table|不是表文件' "${tool[@]}" rules-to-csv plain.edb x.csv
expect_failure "a missing key field" 1 '-71' "${tool[@]}" sort '规则.edb' out.edb 回复语x
expect_failure "an unknown command" 2 'rules-from-csv' "${tool[@]}" frobnicate

version=$(sed -n 's/^project(Quillane VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
check "--version gives the project version $version" \
  test "$("${tool[@]}" --version </dev/null | tr -d '\r')" = "edbtool $version"

# Importing into an existing table: a CSV with a problem changes nothing; a
# good one replaces the rules and keeps the old table beside them.
cp '规则.edb' before.edb
printf '\xEF\xBB\xBF关键词,回复语,匹配规则,匹配码\r\n在吗,在的,包含,1\r\n\r\n好的,"好\r\n的",包含,abc\r\n' >bad.csv
expect_failure "a CSV with a bad code" 7 '(line 4|第 4 行).*abc' "${tool[@]}" rules-from-csv bad.csv '规则.edb'
check "the refused CSV left the table as it was" cmp -s before.edb '规则.edb'
check "and made no backup" test -z "$(ls | grep -E '^规则-')"
# The same rules as Excel saves them as Unicode text: UTF-16 LE, tabs.
printf '关键词\t回复语\t匹配规则\t匹配码\r\n在吗\t在的\t包含 \t1\r\n' | iconv -f UTF-8 -t UTF-16 >unicode.txt
"${tool[@]}" rules-from-csv unicode.txt '规则.edb' >out.txt 2>err.txt </dev/null
check "an import into an existing table succeeds" test $? -eq 0
check "and says how many rules it imported" grep -qE 'imported 1 rules|已导入 1 条规则' out.txt
backup=$(ls | grep -E '^规则-[0-9]{8}-[0-9]{6}\.edb$')
check "the old table is kept as 规则-<date>-<time>.edb" cmp -s before.edb "$backup"
"${tool[@]}" dump '规则.edb' >dump3.json </dev/null
check "the table holds the imported rule" python3 - <<'PY'
import json
r = json.load(open("dump3.json", encoding="utf-8"))["records"]
assert [x["values"] for x in r] == [["在吗", "在的", "包含", 1]], r
PY

# Which rule answers: one line per customer text, the row, keyword and reply.
"${tool[@]}" answer '规则.edb' 在 '你好，在吗' >answer.txt 2>err.txt </dev/null
check "answer succeeds" test $? -eq 0
check "answer names row, keyword and reply" grep -qE '^("在": row 1, keyword "在吗" \(包含\), reply: 在的|“在”：第 1 行，关键词“在吗”（包含），回复：在的)\r?$' answer.txt
check "answer says when the default reply is sent" grep -qE '^("你好，在吗": no rule matches|“你好，在吗”：没有规则匹配)' answer.txt
expect_failure "answer without a text" 2 'answer' "${tool[@]}" answer '规则.edb'

if [ -n "$wine" ]; then
  # Quillane's opening of the rule table: reading, others may read, write and
  # rename. holdfile stands in for it.
  cp '规则.edb' held-before.edb
  "$wine" "$QUILLANE_WIN64_BIN/holdfile.exe" '规则.edb' shared 60000 >hold.out 2>/dev/null &
  for i in $(seq 1 100); do grep -q held hold.out 2>/dev/null && break; sleep 0.1; done
  expect_failure "an import while Quillane holds the table" 8 'close Quillane first|请先关闭 Quillane' \
    "${tool[@]}" rules-from-csv rules.csv '规则.edb'
  touch '规则.edb.release'
  wait
  check "the held table is untouched" cmp -s held-before.edb '规则.edb'
  check "and no backup was made" test "$(ls | grep -cE '^规则-')" -eq 1

  # A CSV file a spreadsheet program holds: shut for reading, open for writing.
  "$wine" "$QUILLANE_WIN64_BIN/holdfile.exe" rules.csv exclusive 60000 >hold2.out 2>/dev/null &
  "$wine" "$QUILLANE_WIN64_BIN/holdfile.exe" back.csv shared 60000 >hold3.out 2>/dev/null &
  for i in $(seq 1 100); do grep -q held hold2.out hold3.out 2>/dev/null && [ "$(cat hold2.out hold3.out | grep -c held)" -eq 2 ] && break; sleep 0.1; done
  expect_failure "reading a CSV file Excel holds" 4 'in use by another program|正被其他程序' \
    "${tool[@]}" rules-from-csv rules.csv '规则.edb'
  expect_failure "writing a CSV file Excel holds" 4 'in use by another program|正被其他程序' \
    "${tool[@]}" rules-to-csv '规则.edb' back.csv
  touch rules.csv.release back.csv.release
  wait
fi

echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
