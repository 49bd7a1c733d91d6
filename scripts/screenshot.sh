#!/usr/bin/env bash
# Makes docs/screenshot.png: the window of the release build under Xvfb, after it converted the
# bundled 2016 sample (into a scratch folder, with a settings folder of its own).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh xvfb xauth x11-apps xdotool netpbm
cmake --preset release >/dev/null
cmake --build --preset release -j2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp build/release/bin/samples/sky-2016.tga "$scratch/"
# A laptop's screen: the window takes what it needs of it, the cube pane showing the cube written.
XDG_CONFIG_HOME="$scratch/settings" XDG_CACHE_HOME="$scratch/cache" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1366x768x24" bash -c '
    build/release/bin/zenivor "$0/sky-2016.tga" & program=$!
    # The title names the output folder once a conversion is done ("Zenivor - ...").
    window=$(xdotool search --sync --onlyvisible --name "^Zenivor" | head -1)
    sleep 3  # the conversion is shown step by step; its last picture stays
    xwd -silent -id "$window" >"$0/window.xwd"
    kill $program' "$scratch"
xwdtopnm "$scratch/window.xwd" 2>/dev/null | pnmtopng >docs/screenshot.png
echo "Wrote docs/screenshot.png"
