#!/usr/bin/env bash
# Packs a build with cpack, installs the package on this machine with apt-get, converts a
# freshly made sample with /usr/bin/zenivor-convert and removes the package again.
# Usage: PackageRoundTrip.sh BUILD-DIR VERSION MAKE-SAMPLES. Exits 77 (skipped) unless root.
set -euo pipefail
build=$(realpath "$1") version=$2 make_samples=$3
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing the package needs root"
    exit 77
fi
if dpkg-query -W -f='${Status}' zenivor 2>/dev/null | grep -q "install ok installed"; then
    echo "skipped: a zenivor package is already installed here and is left alone"
    exit 77
fi

scratch=$(mktemp -d)
installed=
cleanup() {
    [ -z "$installed" ] || DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zenivor >/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
package="$scratch/zenivor_${version}_$(dpkg --print-architecture).deb"
[ -f "$package" ] || { echo "FAIL no $package"; ls "$scratch"; exit 1; }
echo "ok   made $(basename "$package")"

depends=$(dpkg-deb -f "$package" Depends)
for library in libqt6widgets6 libpng16-16 libstdc++6; do
    grep -q "$library" <<<"$depends" || { echo "FAIL Depends lacks $library: $depends"; exit 1; }
done
[ "$(dpkg-deb -f "$package" Recommends)" = xdg-utils ] || { echo "FAIL Recommends"; exit 1; }
echo "ok   Depends: $depends"

installed=yes
(cd "$scratch" && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$(basename "$package")" >/dev/null)
echo "ok   apt-get install"

"$make_samples" "$scratch/made" >/dev/null
/usr/bin/zenivor-convert "$scratch/made/samples/sky-2016.tga" "$scratch/cube"
for name in F0010001 F0020001 F0030001 F0040001 F0050001 F0060001; do
    size=$(stat -c %s "$scratch/cube/$name.tga")
    [ "$size" -eq 762066 ] || { echo "FAIL $name.tga has $size bytes"; exit 1; }
done
cmp "$scratch/cube/F0060001.tga" /usr/lib/zenivor/F0060001.tga
echo "ok   /usr/bin/zenivor-convert wrote the six files"
[ "$(QT_QPA_PLATFORM=no-such-platform /usr/bin/zenivor --version)" = "zenivor $version" ]
echo "ok   /usr/bin/zenivor --version"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zenivor >/dev/null
installed=
[ ! -e /usr/bin/zenivor-convert ] && [ ! -e /usr/lib/zenivor ] || { echo "FAIL files left after removal"; exit 1; }
echo "ok   apt-get purge left nothing behind"
