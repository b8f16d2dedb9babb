#!/usr/bin/env bash
# Times client requests against the real request handler under Wine:
#   bench/channel/run.sh [round trips per repetition, 2000] [repetitions, 5] [most rules, 100000]
exec "$(dirname "$0")/../run-wine.sh" channelbench.exe "$@"
