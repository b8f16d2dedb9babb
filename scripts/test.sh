#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the whole test suite:
# native unit tests, sanitizer builds of them, bounded fuzz runs, and the
# Windows programs under Wine on a virtual display. Ends with ctest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
cd "$root/build/native"
ctest --output-on-failure --timeout 600 "$@"
