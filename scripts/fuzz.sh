#!/usr/bin/env bash
# Runs the fuzz targets for a given time each, on several workers, from their committed seeds.
# Usage: scripts/fuzz.sh [SECONDS [WORKERS [TARGET...]]]   (defaults: 600 s, 2 workers, every target)
# The corpus grows in build/asan/fuzz-corpus-<format>/run; a crash stops the run with its reproducer
# there. At the end each target's last status line is printed: cov (edges covered) and exec/s.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
workers=${2:-2}
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_tga fuzz_png fuzz_jpeg fuzz_tiff fuzz_webp fuzz_exr fuzz_hdr fuzz_ini)

scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan -j2 --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
    format=${target#fuzz_}
    corpus=build/asan/fuzz-corpus-$format
    mkdir -p "$corpus/run"
    options=(-fork="$workers" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=8192)
    # The TGA reader allocates only for pixel data the input can hold.
    [ "$format" = tga ] || [ "$format" = hdr ] && options+=(-malloc_limit_mb=64)
    [ -f "tools/fuzz/$format.dict" ] && options+=(-dict="$PWD/tools/fuzz/$format.dict")
    echo "== $target: $seconds s on $workers workers ($(date -u +%Y-%m-%dT%H:%MZ))"
    log=$corpus/last-run.log
    (cd "$corpus" && "$OLDPWD/build/asan/tools/$target" "${options[@]}" run "$OLDPWD/tools/fuzz/corpus/$format") \
        >"$log" 2>&1 || { status=1; echo "$target failed; see $log"; }
    grep -E '^#[0-9]+: cov:' "$log" | tail -1 || true
done
exit $status
