#!/usr/bin/env bash
# Times one conversion of a 2016 x 504 strip with and without 4 GB of trailing bytes (a sparse
# file), and the peak memory of each: reads stay within what the header declares.
# Usage: tools/bench/bounded_reads.sh CONVERTER STRIP [RUNS]
set -euo pipefail
converter=$1
strip=$2
runs=${3:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$strip" "$work/plain.tga"
cp "$strip" "$work/trailing.tga"
truncate -s +4G "$work/trailing.tga"

median_ms() {  # the median wall time of runs conversions of $1, in milliseconds
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        "$converter" "$1" "$work/out" >/dev/null
        echo $(( ($(date +%s%N) - start) / 1000 ))
    done | sort -n | awk '{ t[NR] = $1 } END { printf "%.1f", t[int((NR + 1) / 2)] / 1000 }'
}
peak_kb() { /usr/bin/time -f %M "$converter" "$1" "$work/out" 2>&1 >/dev/null | tail -1; }

mkdir -p "$work/out"
plain=$(median_ms "$work/plain.tga")
trailing=$(median_ms "$work/trailing.tga")
printf '%-34s %10s %12s\n' "strip" "median ms" "peak memory"
printf '%-34s %10s %9s MB\n' "2016 x 504" "$plain" "$(( $(peak_kb "$work/plain.tga") / 1024 ))"
printf '%-34s %10s %9s MB\n' "2016 x 504 + 4 GB trailing bytes" "$trailing" \
    "$(( $(peak_kb "$work/trailing.tga") / 1024 ))"
awk -v a="$trailing" -v b="$plain" 'BEGIN { printf "ratio (trailing / plain): %.2f\n", a / b }'
