#!/usr/bin/env bash
# Builds the Windows programs if needed and times client requests against the
# real request handler under Wine, in a Wine prefix of its own (removed
# afterwards):
#   bench/channel/run.sh [round trips per repetition, 2000] [repetitions, 5] [most rules, 100000]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=${QUILLANE_WIN64_BIN:-$root/build/win64/bin}
[ -x "$bin/channelbench.exe" ] || bash "$root/scripts/build.sh" win64
state=$(mktemp -d /tmp/quillane-bench.XXXXXX)
trap '"$root/tests/e2e/wine-env.sh" cleanup "$state" >/dev/null 2>&1' EXIT
"$root/tests/e2e/wine-env.sh" setup "$state" >/dev/null
. "$root/scripts/lib/wine.sh"
wine_env "$state/prefix"
export DISPLAY=$(cat "$state/display")
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine "$bin/channelbench.exe" "$@"
