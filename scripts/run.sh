#!/usr/bin/env bash
# Installs what is missing, builds, converts the bundled 2016 sample strip into out/ and, when
# a display is present, opens the window on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j2
bin=build/release/bin
sample="$PWD/$bin/samples/sky-2016.tga"
"$bin/zenivor-convert" --verbose --preview out/preview.png "$sample" out
echo "Wrote the sky cube into out/ (preview: out/preview.png)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # A settings folder of its own, so the window neither reads nor changes the folder the
    # user's own Zenivor remembers; with none remembered it converts beside the sample.
    export XDG_CONFIG_HOME="$PWD/build/run-settings"
    mkdir -p "$XDG_CONFIG_HOME"
    exec "$bin/zenivor" "$sample"
fi
echo "No display: the window was not opened."
