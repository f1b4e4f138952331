#!/usr/bin/env bash
# Speed of the backup run (through the probe, bandwidth mode full) against cp -a, rsync -a and
# find on a generated tree, and of the fingerprint hashing against openssl. Every run is prepared
# alike, so no figure depends on what the page cache kept from the run before: a fresh output
# folder, everything flushed, the caches dropped (where this machine allows it), then the source
# read once.
# The tools take turns in rotating order. cp and rsync are timed with a following `sync -f` on
# their output; the probe's own flush is inside its time. Prints medians with their ranges, the
# ratios and the targets.
#
#   bench/copy-bench.sh [options] [BUILD_DIR]      (default build/dev; BENCH_DIR picks the scratch folder)
#     --files N          files in the tree (100000)
#     --folders N        folders they are spread over (6000)
#     --total-bytes N    bytes the small files aim at together (1887436800)
#     --max-file-bytes N largest small file (32768)
#     --large N          one large file of N bytes; may be repeated (default: two of 80 MiB)
#     --runs N           runs of each tool and case (3)
#     --workers N        files the probe copies at once (default: as the scratch folder's drive takes)
#     --skip-hash        leave out the SHA-256 comparison
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
files=100000 folders=6000 total=$((1800 * 1024 * 1024)) max_file=32768 runs=3 hash=1
large=() workers=()
while [[ $# -gt 0 ]]; do
    case $1 in
    --files) files=$2; shift 2 ;;
    --folders) folders=$2; shift 2 ;;
    --total-bytes) total=$2; shift 2 ;;
    --max-file-bytes) max_file=$2; shift 2 ;;
    --large) large+=("$2"); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --workers) workers=(--workers "$2"); shift 2 ;;
    --skip-hash) hash=0; shift ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
[[ ${#large[@]} -gt 0 ]] || large=($((80 * 1024 * 1024)) $((80 * 1024 * 1024)))
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
spread() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%s (%s-%s)", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v t="$2" -v op="$3" 'BEGIN { ok = op == "<=" ? r <= t : r >= t; print ok ? "met" : "NOT met" }'; }

can_drop=0
if sync && echo 3 2>/dev/null >/proc/sys/vm/drop_caches; then can_drop=1; fi
# One run's starting point: what earlier runs wrote on the disk, caches empty, then the source
# (and the folders the run will compare against) read once.
prepare() {
    local source=$1; shift
    local -a warm=()
    while [[ $# -gt 0 ]]; do
        case $1 in
        --warm) warm+=("$2"); shift 2 ;;
        esac
    done
    sync
    if ((can_drop)); then echo 3 >/proc/sys/vm/drop_caches; fi
    tar -cf - -C "$source" . | cat >/dev/null
    local folder
    for folder in ${warm[@]+"${warm[@]}"}; do find "$folder" -printf '%s' >/dev/null; done
}

tree=$work/tree
large_args=()
for size in "${large[@]}"; do large_args+=(--large "$size"); done
echo "== tree: $(python3 "$here/make-tree.py" "$tree" --files "$files" --folders "$folders" --total-bytes "$total" \
    --max-file-bytes "$max_file" "${large_args[@]}")"
echo "   caches dropped before each run: $([[ $can_drop == 1 ]] && echo yes || echo no, not allowed here); $runs runs each"

probe_run() { "$probe" --bandwidth full ${workers[@]+"${workers[@]}"} "$1" "$2" "$3"; }
cp_run() { cp -a "$1" "$2" && sync -f "$2"; }
rsync_run() { rsync -a "$1/" "$2/" && sync -f "$2"; }

# Runs each named case `runs` times, taking turns in rotating order; `case_NAME` does one run
# (preparing it first) and prints its seconds, collected in NAME_times.
take_turns() {
    local -a names=("$@")
    local round i name
    for name in "${names[@]}"; do eval "${name}_times=()"; done
    for ((round = 0; round < runs; ++round)); do
        for ((i = 0; i < ${#names[@]}; ++i)); do
            name=${names[$(((round + i) % ${#names[@]}))]}
            eval "${name}_times+=(\"\$(case_$name)\")"
        done
    done
}
# One line per case: its label, then the median and range of its times.
show() {
    local name=$1 label=$2 times
    eval "times=(\"\${${name}_times[@]}\")"
    printf '%-20s%s s\n' "$label" "$(spread "${times[@]}")"
    eval "${name}_median=$(median "${times[@]}")"
}

echo "== first mirror into an empty folder"
# Each run writes into a folder of its own, and none is deleted until the series ends: file
# creation right after a large tree was deleted is several times slower on ext4 for minutes.
outs=$work/outs
mkdir -p "$outs"
fresh() { mktemp -d "$outs/$1.XXXXXX"; }
case_cp() { local out; out=$(fresh cp); prepare "$tree"; seconds cp_run "$tree" "$out/copy"; }
case_rsync() { local out; out=$(fresh rsync); prepare "$tree"; seconds rsync_run "$tree" "$out/copy"; }
case_probe() { local out; out=$(fresh probe); prepare "$tree"; seconds probe_run "$tree" "$out/backup" "$out/trash"; }
take_turns cp rsync probe
rm -rf "$outs"
show cp "cp -a + sync -f"; show rsync "rsync -a + sync -f"; show probe "probe"
first_ratio=$(ratio "$probe_median" "$cp_median")
echo "probe / cp -a = $first_ratio   probe / rsync -a = $(ratio "$probe_median" "$rsync_median")"

echo "== nothing to do"
probe_mirror=$work/probe-mirror rsync_mirror=$work/rsync-mirror
memory_first=$( { /usr/bin/time -f %M "$probe" --bandwidth full ${workers[@]+"${workers[@]}"} "$tree" "$probe_mirror/backup" "$probe_mirror/trash" >/dev/null; } 2>&1 )
rsync -a "$tree/" "$rsync_mirror/"
case_rsync() { prepare "$tree" --warm "$rsync_mirror"; seconds rsync_run "$tree" "$rsync_mirror"; }
case_probe() { prepare "$tree" --warm "$probe_mirror"; seconds probe_run "$tree" "$probe_mirror/backup" "$probe_mirror/trash"; }
case_find() { prepare "$tree"; seconds find "$tree" -printf '%s %T@ %p\n'; }
take_turns rsync probe find
show rsync "rsync -a + sync -f"; show find "find -printf"; show probe "probe"
noop_ratio=$(ratio "$probe_median" "$rsync_median")
echo "probe / rsync -a = $noop_ratio   probe / find = $(ratio "$probe_median" "$find_median")"

echo "== one changed file"
probe_times=() rsync_times=()
for ((round = 1; round <= runs; ++round)); do
    changed=$(find "$tree" -name "$(printf 'file%06d.dat' $((round * 31 % files)))" -print -quit)
    head -c 1000 /dev/urandom >>"$changed"
    prepare "$tree" --warm "$probe_mirror"
    probe_times+=("$(seconds probe_run "$tree" "$probe_mirror/backup" "$probe_mirror/trash")")
    prepare "$tree" --warm "$rsync_mirror"
    rsync_times+=("$(seconds rsync_run "$tree" "$rsync_mirror")")
done
show rsync "rsync -a + sync -f"; show probe "probe"
changed_ratio=$(ratio "$probe_median" "$rsync_median")
echo "probe / rsync -a = $changed_ratio"

memory_noop=$( { /usr/bin/time -f %M "$probe" --bandwidth full ${workers[@]+"${workers[@]}"} "$tree" "$probe_mirror/backup" "$probe_mirror/trash" >/dev/null; } 2>&1 )
echo "peak memory of the probe: first mirror $((memory_first / 1024)) MB, nothing to do $((memory_noop / 1024)) MB"

disk=$(lsblk -dno NAME,ROTA "$(df --output=source "$work" | tail -1)" 2>/dev/null | awk '{ print $2 == 1 ? "rotational disk" : "SSD" }')
[[ -n $disk ]] || disk="$(df --output=fstype "$work" | tail -1 | tr -d ' ') file system"
echo "== against the targets ($(nproc) cores, the scratch folder on a $disk, probe copying $(case ${workers[1]:-} in "") echo "as many files at once as the drive takes" ;; 1) echo "one file at a time" ;; *) echo "${workers[1]} files at once" ;; esac); the first-mirror target is for an SSD)"
printf '%-44s %5s   target <= %s: %s\n' "first mirror, probe / cp -a" "$first_ratio" 0.80 "$(verdict "$first_ratio" 0.80 "<=")"
printf '%-44s %5s   target <= %s: %s\n' "nothing to do, probe / rsync -a" "$noop_ratio" 0.50 "$(verdict "$noop_ratio" 0.50 "<=")"
printf '%-44s %5s   target <= %s: %s\n' "one changed file, probe / rsync -a" "$changed_ratio" 0.50 "$(verdict "$changed_ratio" 0.50 "<=")"
rm -rf "$probe_mirror" "$rsync_mirror" "$tree"

if ((hash)); then
    echo "== SHA-256 of a 1 GiB file in the page cache (target: fingerprint code >= 0.95x openssl dgst -sha256)"
    if [[ -x $build/bench/bench_fingerprint ]]; then
        TMPDIR=$work "$build/bench/bench_fingerprint"
    else
        echo "no $build/bench/bench_fingerprint; build the bench_fingerprint target to include it"
    fi
fi
