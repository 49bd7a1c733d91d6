#!/usr/bin/env bash
# Times the 2016 conversion in process (Google Benchmark) and the converter end to end against
# the floor command (hyperfine), then prints the ratio. Run after scripts/run.sh or test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/dev
if ! command -v hyperfine >/dev/null; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq hyperfine
fi
cmake --preset dev >/dev/null
cmake --build "$build" --target bench_conversion zenivor-floor zenivor-convert zenivor_data

"$build/tools/bench_conversion" --benchmark_min_time=1
sample="$build/bin/samples/sky-2016.tga"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
hyperfine --warmup 5 --min-runs 40 --export-json "$scratch/times.json" \
    -n converter "$build/bin/zenivor-convert $sample $scratch/convert" \
    -n floor "$build/tools/zenivor-floor $sample $scratch/floor"
python3 - "$scratch/times.json" <<'PY'
import json, sys
results = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
ratio = results["converter"] / results["floor"]
print(f"converter {results['converter']*1000:.1f} ms, floor {results['floor']*1000:.1f} ms, ratio {ratio:.2f} (goal: at most 1.5)")
PY
