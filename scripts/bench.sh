#!/usr/bin/env bash
# Times the converter against the floors of its work, in one run, and prints the figures of the
# README's Speed table:
#   - the 2016 conversion end to end against io_floor and io_floor_durable (plain C stdio, no
#     codec: read the strip, write six 504 x 504 files, read four back; the durable one through
#     temporary names, fsync and rename, as the converter writes);
#   - the conversion in process (Google Benchmark) against the in-process durable floor;
#   - page faults and peak memory of one conversion, and of a strip with 4 GB of trailing bytes;
#   - an 8192 x 4096 JPEG panorama against decoding it with libjpeg-turbo and writing six files;
#   - 8192 x 4096 OpenEXR and 16-bit TIFF panoramas against decoding each with its own library
#     and writing six files, and the peak memory of 16384 x 8192 ones (float EXR, 16-bit PNG);
#   - a batch of 200 strips against one run after another and xargs -P2.
# Usage: scripts/bench.sh [BATCH-COUNT]   (after scripts/test.sh has installed what it needs)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
scripts/install-deps.sh hyperfine libbenchmark-dev >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target zenivor-convert zenivor_data >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench --target bench_conversion zenivor_data >/dev/null

converter=$PWD/build/release/bin/zenivor-convert
sample=$PWD/build/release/bin/samples/sky-2016.tga
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tool in io_floor io_floor_durable; do cc -O2 -o "$work/$tool" "tools/bench/$tool.c"; done
cc -O2 -o "$work/panorama_floor" tools/bench/panorama_floor.c -ljpeg
cc -O2 -o "$work/make_panorama" tools/bench/make_panorama.c -ljpeg -lm
exr_flags=(-isystem /usr/include/OpenEXR -isystem /usr/include/Imath)
exr_libs=(-lOpenEXR-3_1 -lImath-3_1 -lIex-3_1)
c++ -O2 -std=c++20 "${exr_flags[@]}" -o "$work/make_wide_panoramas" tools/bench/make_wide_panoramas.cpp \
    "${exr_libs[@]}" -ltiff -lpng
c++ -O2 -std=c++20 "${exr_flags[@]}" -o "$work/wide_floor" tools/bench/wide_floor.cpp "${exr_libs[@]}" -ltiff
mkdir -p "$work/convert" "$work/floor" "$work/durable" "$work/pano" "$work/pano-floor"

# The median of one command in hyperfine's JSON, in milliseconds: an fsync that waits on a
# neighbour's disk traffic now and then would move the mean, not the median.
median_ms() {
    python3 - "$@" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
print("%.1f" % (results[sys.argv[2]]["median"] * 1000))
PY
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "== One 2016 x 504 conversion, end to end (hyperfine)"
hyperfine -N --warmup 5 --min-runs 100 --export-json "$work/single.json" \
    -n converter "$converter $sample $work/convert" \
    -n io_floor "$work/io_floor $sample $work/floor" \
    -n io_floor_durable "$work/io_floor_durable $sample $work/durable" >/dev/null
c=$(median_ms "$work/single.json" converter)
f=$(median_ms "$work/single.json" io_floor)
d=$(median_ms "$work/single.json" io_floor_durable)
echo "medians: converter $c ms, io_floor $f ms, io_floor_durable $d ms"
echo "ratio to io_floor_durable $(ratio "$c" "$d") (goal: at most 1.25), to io_floor $(ratio "$c" "$f")"

echo "== In process (Google Benchmark)"
build/bench/tools/bench_conversion --benchmark_min_time=2 --benchmark_format=json >"$work/inprocess.json" 2>/dev/null
python3 - "$work/inprocess.json" <<'PY'
import json, sys
times = {b["name"].split("/")[0]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
sky, floor = times["BM_ProcessSky2016"], times["BM_DurableFloor"]
named = times["BM_ProcessSky2016NamedTemporaries"]
print(f"conversion {sky:.1f} ms ({named:.1f} ms with named temporary files), durable floor {floor:.1f} ms, "
      f"ratio {sky / floor:.2f} (goal: at most 1.25)")
PY

echo "== Page faults and peak memory of one conversion (/usr/bin/time -v)"
for name in converter io_floor_durable; do
    cmd=("$work/io_floor_durable" "$sample" "$work/durable")
    [ "$name" = converter ] && cmd=("$converter" "$sample" "$work/convert")
    /usr/bin/time -v "${cmd[@]}" 2>"$work/time.txt" >/dev/null
    faults=$(awk -F': ' '/Minor/ { print $2 }' "$work/time.txt")
    peak=$(awk -F': ' '/Maximum resident/ { print $2 }' "$work/time.txt")
    echo "$name: $faults page faults, peak $((peak / 1024)) MB"
done
echo "== A strip with 4 GB of trailing bytes"
tools/bench/bounded_reads.sh "$converter" "$sample" 20

echo "== An 8192 x 4096 JPEG panorama (hyperfine)"
"$work/make_panorama" "$work/pano.jpg" 8192
hyperfine -N --warmup 2 --min-runs 10 --export-json "$work/pano.json" \
    -n equirect "$converter --equirect $work/pano.jpg $work/pano" \
    -n decode_and_write "$work/panorama_floor $work/pano.jpg $work/pano-floor" >/dev/null
p=$(median_ms "$work/pano.json" equirect)
q=$(median_ms "$work/pano.json" decode_and_write)
echo "medians: equirect $p ms, decode and write $q ms, ratio $(ratio "$p" "$q") (goal: at most 1.5)"

echo "== 8192 x 4096 OpenEXR (half, ZIP) and 16-bit TIFF (Deflate) panoramas (hyperfine)"
"$work/make_wide_panoramas" exr "$work/pano.exr" 8192
"$work/make_wide_panoramas" tiff "$work/pano16.tif" 8192
hyperfine -N --warmup 1 --min-runs 10 --export-json "$work/wide.json" \
    -n exr "$converter --equirect $work/pano.exr $work/pano" \
    -n exr_floor "$work/wide_floor exr $work/pano.exr $work/pano-floor" \
    -n tiff "$converter --equirect $work/pano16.tif $work/pano" \
    -n tiff_floor "$work/wide_floor tiff $work/pano16.tif $work/pano-floor" >/dev/null
for kind in exr tiff; do
    p=$(median_ms "$work/wide.json" $kind)
    q=$(median_ms "$work/wide.json" ${kind}_floor)
    echo "$kind: medians: equirect $p ms, decode and write $q ms, ratio $(ratio "$p" "$q") (goal: at most 1.5)"
done

echo "== Peak memory of 16384 x 8192 panoramas (/usr/bin/time -v)"
"$work/make_wide_panoramas" exr "$work/big.exr" 16384
"$work/make_wide_panoramas" png "$work/big16.png" 16384
rm -f "$work/pano.exr" "$work/pano16.tif"
for file in big.exr big16.png; do
    /usr/bin/time -v "$converter" --equirect "$work/$file" "$work/pano" 2>"$work/time.txt" >/dev/null
    peak=$(awk -F': ' '/Maximum resident/ { print $2 }' "$work/time.txt")
    elapsed=$(awk -F': ' '/Elapsed/ { print $2 }' "$work/time.txt")
    echo "$file: peak $((peak / 1024)) MB, $elapsed (goal: under 300 MB)"
done
rm -f "$work/big.exr" "$work/big16.png"

if [ -x tools/bench/batch.sh ]; then
    echo "== A batch of $count strips"
    tools/bench/batch.sh "$converter" "$sample" "$count"
fi
echo "(machine: $(nproc) cores, $(uname -m), $(date -u +%Y-%m-%d))"
