#!/usr/bin/env bash
# The real Quillane.exe against clients that announce dangerous folders, a
# client that hangs, and a stray local process (hostpeer.exe) that announces,
# asks, forges and floods. After each, the folders that must survive still
# hold their files, the real clients get their own replies, and Quillane ends
# with exit code 0 in bounded time.
# Run by wine-run.sh (WINEPREFIX, DISPLAY, LANG, QUILLANE_WIN64_BIN set).
set -u
. "$(dirname "$0")/../checks.sh"
status() { drv status-text Quillane 状态条1 1 | tr -d '\r'; }
tabs() { drv tabs Quillane 高级选择夹1 | tr -d '\r' | awk -F'\t' '{printf "%s%s", (NR>1?" ":""), $2}'; }
peer() { timeout 120 "$wine" "$bin/hostpeer.exe" "$host" "$@" >>"$work/peer.log" 2>&1; echo $?; }
replies() { tr -d '\r' <"$1" 2>/dev/null | grep -c $'^匹配回复内容\t在的亲$'; }
survives() { [ -f "$1" ] && echo yes || echo no; }

# A scratch drive X:, so that a guard that failed could only cost scratch files.
drive=$work/drive
mkdir -p "$drive/keep" "$drive/shops/7"
echo keep >"$drive/keep/file.txt"
echo cache >"$drive/shops/7/cache.txt"
ln -sfn "$drive" "$WINEPREFIX/dosdevices/x:"
trap 'rm -f "$WINEPREFIX/dosdevices/x:"; cleanup' EXIT

run=$work/app
mkdir -p "$run"
cp "$bin/Quillane.exe" "$bin/Browser.exe" "$run/"
echo keep >"$run/keep.txt"
printf '关键词,回复语,匹配规则,匹配码\r\n在吗|在不,在的亲,包含,5\r\n' >"$work/rules.csv"
"$wine" "$bin/edbtool.exe" rules-from-csv "$(winpath "$work/rules.csv")" "$(winpath "$run/Database.edb")" >/dev/null 2>&1

# The folder each shop's client announces, and what it sends.
folders=('X:\\' 'X:\.\' 'X:\keep\..\' '.' "$(winpath "$run")\\.." "$(winpath "$run")" 'X:\shops\7' 'X:\shops\8')
for i in "${!folders[@]}"; do printf '%s\n' "${folders[$i]}" >"$work/folder$((i + 1)).txt"; done
for i in 1 3 4 5 6 7; do printf '在\n' >"$work/script$i.txt"; done
printf '在\n#raw 在|1|2\n#raw 在|1\n' >"$work/script2.txt"
printf '在\n#hang 60\n' >"$work/script8.txt"
printf '在\n' >"$work/script9.txt"
export QUILLANE_CLIENT_SCRIPT="$(winpath "$work")\\script{shop}.txt"
export QUILLANE_CLIENT_LOG="$(winpath "$work")\\client{shop}.log"
export QUILLANE_CLIENT_FOLDER="$(winpath "$work")\\folder{shop}.txt"

( cd "$run" && exec "$wine" "$run/Quillane.exe" ) &
app=$!
drv --timeout 40000 wait-window Quillane >/dev/null || { echo "FAIL Quillane did not open"; exit 1; }
host=$(drv handle Quillane 高级选择夹1 | tr -d '\r')
echo "locale: $LANG, host window $host"

# --- A stray process announcing itself or Quillane's own window --------------
check "a stray announcement is not acknowledged" 1 "$(peer announce 'X:\')"
check "nor one naming Quillane's own window" 1 "$(peer announce-window "$host" 'X:\')"
# It keeps announcing while staff add the first shop.
( for _ in $(seq 1 8); do timeout 20 "$wine" "$bin/hostpeer.exe" "$host" announce 'X:\' >/dev/null 2>&1; done ) &
stray=$!
add_shop() { # number
  drv click-tool Quillane 工具条1 0 >/dev/null
  wait_line "$work/client$1.log" $'匹配回复内容\t在的亲' || echo "     (shop $1 got no reply)"
}
add_shop 1
wait "$stray"
check "the real client of shop 1 is bound and answered" 1 "$(replies "$work/client1.log")"
for n in 2 3 4 5 6 7; do add_shop "$n"; done
check "seven shops" "启动页 店铺1 店铺2 店铺3 店铺4 店铺5 店铺6 店铺7" "$(tabs)"

# --- Replies go to the client that asked ----------------------------------------
sleep 1
check "shop 2's requests naming shop 1 are answered to shop 2" 3 "$(replies "$work/client2.log")"
check "shop 1 got only its own reply" 1 "$(replies "$work/client1.log")"

# --- A stray process asking, forging and giving notices ----------------------
pid1=$(tr -d '\r' <"$work/client1.log" | grep -m1 $'^子窗口句柄\t' | cut -d'|' -f2)
check "a stray request naming shop 1 is not acknowledged" 1 "$(peer send 匹配回复内容 '在|1')"
check "a request claiming shop 1's process is not acknowledged" 1 "$(peer forge "$pid1" '在|1')"
before=$(status)
check "a stray notice is not acknowledged" 1 "$(peer send 停止 1)"
check "and changes no status" "$before" "$(status)"
rss() { ps -o rss= -p "$(pgrep -f 'Quillane.exe' | head -1)" 2>/dev/null | tr -d ' '; }
rss0=$(rss)
t0=$(date +%s%N)
check "10,000 malformed messages, none acknowledged" 0 "$(peer flood 10000)"
t1=$(date +%s%N)
rss1=$(rss)
echo "     the flood took $(((t1 - t0) / 1000000)) ms"
echo "     memory of Quillane: ${rss0} KiB before the flood, ${rss1} KiB after"
check "memory grew by less than 16 MiB" yes "$([ $((rss1 - rss0)) -lt 16384 ] && echo yes || echo no)"
check "shop 1 got no reply meant for anyone else" 1 "$(replies "$work/client1.log")"

# --- A client that hangs costs the others at most the send limit once ---------
add_shop 8   # its client stops handling messages after its first reply
drv select-tab Quillane 高级选择夹1 8 >/dev/null
t0=$(date +%s%N)
drv click-tool Quillane 工具条1 4 >/dev/null   # 停止回复 to the hung client
status >/dev/null                              # answered once the main thread is free again
t1=$(date +%s%N)
echo "     停止回复 to the hung client: the window answered again after $(((t1 - t0) / 1000000)) ms"
check "停止回复 to a hung client holds the window at most 5 s" yes "$([ $(((t1 - t0) / 1000000)) -lt 5000 ] && echo yes || echo no)"
add_shop 9
check "a new shop is answered while shop 8 hangs" 1 "$(replies "$work/client9.log")"

# --- Deleting shops whose folders are a drive root or its aliases -------------
for n in 1 1 1; do
  drv select-tab Quillane 高级选择夹1 "$n" >/dev/null
  drv click-tool Quillane 工具条1 1 >/dev/null
done
check "three shops deleted" "启动页 店铺1 店铺2 店铺3 店铺4 店铺5 店铺6" "$(tabs)"
check "Quillane still runs" 1 "$(drv count-windows Quillane | tr -d '\r')"
check "X:\\keep\\file.txt survives deleting X:\\, X:\\.\\ and X:\\keep\\..\\" yes "$(survives "$drive/keep/file.txt")"

# --- Exit with a hung client ---------------------------------------------------
t0=$(date +%s%N)
drv close Quillane >/dev/null
drv answer-box OK >/dev/null
wait "$app"
rc=$?
app=""
t1=$(date +%s%N)
echo "     exit took $(((t1 - t0) / 1000000)) ms"
check "Quillane exits with code 0" 0 "$rc"
check "exit with a hung client within 12 s" yes "$([ $(((t1 - t0) / 1000000)) -lt 12000 ] && echo yes || echo no)"
check "the program folder keeps its files (\".\", the folder itself)" yes "$(survives "$run/keep.txt")"
check "and Data.ini-free Database.edb" yes "$(survives "$run/Database.edb")"
check "the folder above the program folder is kept" yes "$(survives "$work/rules.csv")"
check "X:\\ keeps its files" yes "$(survives "$drive/keep/file.txt")"
check "a plain data folder is removed at exit" no "$([ -d "$drive/shops/7" ] && echo yes || echo no)"

echo "$fails failed"
exit $((fails > 0))
