#!/usr/bin/env bash
# Installs what is missing, builds, converts the bundled 2016 sample strip into out/ and, when
# a display is present, opens the window on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
bin=build/release/bin
sample="$PWD/$bin/samples/sky-2016.tga"
"$bin/zenivor-convert" --verbose --preview out/preview.png "$sample" out
echo "Wrote the sky cube into out/ (preview: out/preview.png)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # The window converts the sample again, into the remembered folder (beside the sample
    # when none is remembered yet).
    exec "$bin/zenivor" "$sample"
fi
echo "No display: the window was not opened."
