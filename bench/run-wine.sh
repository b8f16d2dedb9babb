#!/usr/bin/env bash
# Runs one of the Windows benchmark programs under Wine, in a Wine prefix and
# on a virtual display of its own (removed afterwards), building the Windows
# programs first if it is not there:
#   bench/run-wine.sh matcher_bench.exe [arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${QUILLANE_WIN64_BIN:-$root/build/win64/bin}
program=${1:?usage: bench/run-wine.sh PROGRAM.exe [arguments...]}
shift
[ -x "$bin/$program" ] || bash "$root/scripts/build.sh" win64
state=$(mktemp -d /tmp/quillane-bench.XXXXXX)
trap '"$root/tests/e2e/wine-env.sh" cleanup "$state" >/dev/null 2>&1' EXIT
"$root/tests/e2e/wine-env.sh" setup "$state" >/dev/null
. "$root/scripts/lib/wine.sh"
wine_env "$state/prefix"
export DISPLAY=$(cat "$state/display")
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine "$bin/$program" "$@"
