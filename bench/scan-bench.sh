#!/usr/bin/env bash
# Times the source and destination scans against find on a tree of 100,000 files in 6,000 folders.
#   bench/scan-bench.sh [build-dir] [runs]
# The tree is made under $TMPDIR (or /tmp) and removed afterwards.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/dev}
runs=${2:-7}

cmake --build "$build" -j4 --target bench_scan >/dev/null
tree=$(mktemp -d "${TMPDIR:-/tmp}/larkfold-scan-bench-XXXXXX")
trap 'rm -rf "$tree"' EXIT
"$build/bench/bench_scan" "$tree/tree" "$runs"
