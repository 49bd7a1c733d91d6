#!/usr/bin/env bash
# Throughput of many strips three ways: single runs one after another, single runs two at a
# time under xargs -P2, and one --batch -j 2. Each strip goes into a folder of its own in all
# three, and every run starts from an empty output root.
# Usage: tools/bench/batch.sh CONVERTER STRIP COUNT [RUNS]
set -euo pipefail
if [[ $# -lt 3 ]]; then
    echo "usage: $0 CONVERTER STRIP COUNT [RUNS]" >&2
    exit 2
fi
converter=$(realpath "$1")
strip=$2
count=$3
runs=${4:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# COUNT names for the one strip: hard links where the file system allows, copies elsewhere.
mkdir "$work/strips"
for i in $(seq -w 1 "$count"); do
    ln "$strip" "$work/strips/s$i.tga" 2>/dev/null || cp "$strip" "$work/strips/s$i.tga"
done

# The three ways, as scripts, so that hyperfine and the fallback time the same thing.
cat >"$work/sequential.sh" <<EOF
for s in "$work"/strips/*.tga; do
    n=\${s##*/}
    "$converter" "\$s" "$work/out/\${n%.tga}" || exit 1
done
EOF
cat >"$work/xargs.sh" <<EOF
for s in "$work"/strips/*.tga; do
    n=\${s##*/}
    printf '%s\0%s\0' "\$s" "$work/out/\${n%.tga}"
done | xargs -0 -n 2 -P 2 "$converter"
EOF
cat >"$work/batch.sh" <<EOF
"$converter" --batch "$work/out" -j 2 -q "$work"/strips/*.tga
EOF
ways=(sequential xargs batch)

# Each way once untimed: it must write every cube, or its time means nothing (this also warms
# the page cache for all three).
for way in "${ways[@]}"; do
    rm -rf "$work/out"
    bash "$work/$way.sh"
    written=$(find "$work/out" -name 'F00?0001.tga' | wc -l)
    if [[ $written -ne $((6 * count)) ]]; then
        echo "$0: $way wrote $written files, not $((6 * count))" >&2
        exit 1
    fi
done

declare -A seconds
if command -v hyperfine >/dev/null; then
    args=()
    for way in "${ways[@]}"; do args+=(-n "$way" "bash $work/$way.sh"); done
    hyperfine --style basic --runs "$runs" --prepare "rm -rf $work/out" --export-csv "$work/times.csv" "${args[@]}" >&2
    while IFS=, read -r name mean _; do
        [[ $name == command ]] || seconds[$name]=$mean
    done <"$work/times.csv"
else
    for way in "${ways[@]}"; do
        # the median of the runs
        seconds[$way]=$(for _ in $(seq "$runs"); do
            rm -rf "$work/out"
            start=$(date +%s%N)
            bash "$work/$way.sh"
            echo $(($(date +%s%N) - start))
        done | sort -n | awk '{ t[NR] = $1 } END { printf "%.4f", t[int((NR + 1) / 2)] / 1e9 }')
    done
fi

echo "$count strips of $(basename "$strip"), $(nproc) cores, $runs runs each"
printf '%-12s %10s %12s\n' way seconds strips/s
for way in "${ways[@]}"; do
    awk -v w="$way" -v s="${seconds[$way]}" -v n="$count" 'BEGIN { printf "%-12s %10.2f %12.1f\n", w, s, n / s }'
done
awk -v b="${seconds[batch]}" -v q="${seconds[sequential]}" -v x="${seconds[xargs]}" \
    'BEGIN { printf "throughput batch / sequential: %.2f (goal: at least 1.8)\n", q / b
             printf "throughput batch / xargs -P2:  %.2f (goal: above 1)\n", x / b }'
