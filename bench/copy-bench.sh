#!/usr/bin/env bash
# Speed of the backup run (through the probe, bandwidth mode full) against cp -a and rsync -a on
# generated trees, warm cache. cp and rsync are timed with a following `sync -f` on the
# destination; the run's own flush is inside its time. Prints medians of three and ratios.
#
#   bench/copy-bench.sh [BUILD_DIR]     (default: build/dev; BENCH_DIR picks the scratch folder)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/dev}
probe=$build/tests/copy/probe/larkfold-probe
[[ -x $probe ]] || { echo "no probe at $probe; build first" >&2; exit 1; }
work=${BENCH_DIR:-$(mktemp -d /var/tmp/larkfold-bench.XXXXXX)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

seconds() { # seconds a command takes, its output dropped
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
warm() { tar -cf - -C "$1" . | cat >/dev/null; }

probe_run() { "$probe" --bandwidth full "$1" "$2" "$3"; }
cp_run() { cp -a "$1" "$2" && sync -f "$2"; }
rsync_run() { rsync -a "$1/" "$2/" && sync -f "$2"; }

echo "== first mirror: 20,000 files, 1 GiB, two over 64 MiB"
first=$work/first
python3 "$here/make-tree.py" "$first/src" --files 20000 --folders 1200 \
    --total-bytes $((1024 * 1024 * 1024)) --large $((100 * 1024 * 1024)) --large $((90 * 1024 * 1024))
warm "$first/src"
cp_times=() rsync_times=() probe_times=()
first_mirror() { # one tool's first mirror into a fresh destination, after the last one's removal settled
    rm -rf "$first/dst"; sync
    case $1 in
    cp) cp_times+=("$(seconds cp_run "$first/src" "$first/dst")") ;;
    rsync) rsync_times+=("$(seconds rsync_run "$first/src" "$first/dst")") ;;
    probe) probe_times+=("$(seconds probe_run "$first/src" "$first/dst/backup" "$first/dst/trash")") ;;
    esac
}
# Each tool takes each place in the order once, so none always follows another's deletion.
for order in "cp rsync probe" "rsync probe cp" "probe cp rsync"; do
    for tool in $order; do first_mirror "$tool"; done
done
cp_first=$(median "${cp_times[@]}"); rsync_first=$(median "${rsync_times[@]}"); probe_first=$(median "${probe_times[@]}")
echo "cp -a ${cp_first}s  rsync -a ${rsync_first}s  probe ${probe_first}s"
echo "probe / cp -a = $(ratio "$probe_first" "$cp_first")  (target <= 1.2)   probe / rsync -a = $(ratio "$probe_first" "$rsync_first")"
rm -rf "$first"

echo "== 100,000 files in 6,000 folders"
many=$work/many
python3 "$here/make-tree.py" "$many/src" --files 100000 --folders 6000 --total-bytes $((400 * 1024 * 1024)) \
    --max-file-bytes 65536
warm "$many/src"
memory_first=$( { /usr/bin/time -f %M "$probe" --bandwidth full "$many/src" "$many/probe/backup" "$many/probe/trash" >/dev/null; } 2>&1 )
rsync -a "$many/src/" "$many/rsync/"; sync

probe_times=() rsync_times=()
for _ in 1 2 3; do
    probe_times+=("$(seconds probe_run "$many/src" "$many/probe/backup" "$many/probe/trash")")
    rsync_times+=("$(seconds rsync_run "$many/src" "$many/rsync")")
done
probe_noop=$(median "${probe_times[@]}"); rsync_noop=$(median "${rsync_times[@]}")
echo "nothing to do: rsync -a ${rsync_noop}s  probe ${probe_noop}s  probe / rsync -a = $(ratio "$probe_noop" "$rsync_noop")  (target < 1)"

probe_times=() rsync_times=()
for round in 1 2 3; do
    changed=$(find "$many/src" -name "$(printf 'file%06d.dat' $((round * 31111)))" -print -quit)
    head -c 1000 /dev/urandom >>"$changed"
    probe_times+=("$(seconds probe_run "$many/src" "$many/probe/backup" "$many/probe/trash")")
    rsync_times+=("$(seconds rsync_run "$many/src" "$many/rsync")")
done
probe_one=$(median "${probe_times[@]}"); rsync_one=$(median "${rsync_times[@]}")
echo "one changed file: rsync -a ${rsync_one}s  probe ${probe_one}s  probe / rsync -a = $(ratio "$probe_one" "$rsync_one")  (target < 1)"

memory_noop=$( { /usr/bin/time -f %M "$probe" --bandwidth full "$many/src" "$many/probe/backup" "$many/probe/trash" >/dev/null; } 2>&1 )
echo "peak memory of the probe: first mirror $((memory_first / 1024)) MB, nothing to do $((memory_noop / 1024)) MB  (target < 150 MB)"
