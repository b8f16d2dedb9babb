#!/usr/bin/env bash
# A short bounded libFuzzer run: TARGET SEED_DIR SECONDS. The seeds are copied
# so that the corpus in the tree stays as committed. Fails on any crash, leak or
# sanitizer report.
set -euo pipefail
target=$1 seeds=$2 secs=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus"
cp -r "$seeds"/. "$work/corpus/" 2>/dev/null || true
cd "$work"
"$target" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 corpus
