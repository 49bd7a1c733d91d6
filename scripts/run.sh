#!/usr/bin/env bash
# Installs what is missing, builds, and converts the bundled 2016 sample strip into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
bin=build/release/bin
"$bin/zenivor-convert" --verbose --preview out/preview.png "$bin/samples/sky-2016.tga" out
echo "Wrote the sky cube into out/ (preview: out/preview.png)"
