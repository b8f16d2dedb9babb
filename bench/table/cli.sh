#!/usr/bin/env bash
# Times edbtool against the sqlite3 shell on the same rule rows (match codes
# 0 to 9), in the same run, and prints min and median of the repetitions and
# the ratios edbtool / sqlite3:
#   to-csv: edbtool rules-to-csv TABLE CSV  | sqlite3 -csv writing the four columns of every row
#   sort:   edbtool sort IN OUT 匹配码 --desc | sqlite3 copying the rows ordered by code
#           descending into a table of a new database file, with synchronous
#           FULL (the shell's default) and OFF
# Every run is a new process, so edbtool always starts without page streams
# (a cold run in bench_table's terms).
# Usage: bench/table/cli.sh [EDBTOOL] [RECORDS] [REPEATS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
edbtool=$(realpath "${1:-$root/build/native/bin/edbtool}")
records=${2:-100000}
repeats=${3:-5}
command -v sqlite3 >/dev/null || { echo "cli.sh: sqlite3 is missing (scripts/setup.sh installs it)" >&2; exit 1; }
[ -x "$edbtool" ] || { echo "cli.sh: no edbtool at $edbtool" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The rows: GBK-representable Chinese keywords and replies, codes 0 to 9.
python3 - "$records" <<'PY'
import random, sys
random.seed(42)
with open("rules.csv", "w", encoding="utf-8", newline="") as f:
    f.write("关键词,回复语,匹配规则,匹配码\r\n")
    for i in range(int(sys.argv[1])):
        rule = "包含" if i % 3 else "完全匹配"
        f.write(f"关键词{i}|关键词{i * 7},{'回复语' * 12}{i},{rule},{random.randrange(10)}\r\n")
PY
"$edbtool" rules-from-csv rules.csv Database.edb
sqlite3 rules.db "CREATE TABLE rules(keyword TEXT, reply TEXT, rule TEXT, code INTEGER)" \
  ".import --csv --skip 1 rules.csv rules"

now() { date +%s%N; }
# time_ms NAME COMMAND...: runs the command `repeats` times, recording milliseconds.
declare -A samples
time_ms() {
  local name=$1; shift
  local list=""
  for ((k = 0; k < repeats; k++)); do
    rm -f sorted.db Sorting.edb out.csv
    local s; s=$(now)
    "$@" >/dev/null
    local e; e=$(now)
    list+="$(( (e - s) / 1000 )) "
  done
  samples[$name]=$list
}
# stat NAME min|median: the figure in milliseconds.
stat() {
  tr ' ' '\n' <<<"${samples[$1]}" | grep . | sort -n | awk -v what="$2" '
    { v[NR] = $1 / 1000 }
    END { if (what == "min") print v[1];
          else if (NR % 2) print v[(NR + 1) / 2];
          else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

sqlite_csv() { sqlite3 -csv -header rules.db "SELECT keyword, reply, rule, code FROM rules" >out.csv; }
sqlite_sort() { # synchronous setting
  sqlite3 rules.db "ATTACH 'sorted.db' AS s" "PRAGMA s.synchronous=$1" \
    "CREATE TABLE s.rules(keyword TEXT, reply TEXT, rule TEXT, code INTEGER)" \
    "INSERT INTO s.rules SELECT keyword, reply, rule, code FROM rules ORDER BY code DESC"
}

time_ms edb_csv "$edbtool" rules-to-csv Database.edb out.csv
time_ms sql_csv sqlite_csv
time_ms edb_sort "$edbtool" sort Database.edb Sorting.edb 匹配码 --desc --password 620418537
time_ms sql_sort_full sqlite_sort FULL
time_ms sql_sort_off sqlite_sort OFF

line() { # job edbtool-samples sqlite-samples
  local em ed sm sd
  em=$(stat "$2" min); ed=$(stat "$2" median); sm=$(stat "$3" min); sd=$(stat "$3" median)
  awk -v n="$records" -v j="$1" -v em="$em" -v ed="$ed" -v sm="$sm" -v sd="$sd" 'BEGIN {
    printf "%-8d %-16s %10.1f %10.1f %10.1f %10.1f %7.2f %7.2f\n", n, j, em, ed, sm, sd, em / sm, ed / sd }'
}
printf "%-8s %-16s %10s %10s %10s %10s %7s %7s\n" records job "edb min" "edb med" "sql min" \
  "sql med" "min x" "med x"
line to-csv edb_csv sql_csv
line "sort | sync full" edb_sort sql_sort_full
line "sort | sync off" edb_sort sql_sort_off
echo "(milliseconds of wall time, $repeats runs each; edbtool writes without flushing)"
