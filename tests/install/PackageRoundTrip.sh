#!/usr/bin/env bash
# Installs the two packages that scripts/package.sh made on this machine with apt-get, the
# converter's first and alone, converts a sample with /usr/bin/zenivor-convert (with the
# installed ground, then with a user's own), and removes both packages again. Registered only
# with -DZENIVOR_SYSTEM_TESTS=ON: it changes the system it runs on.
# Usage: PackageRoundTrip.sh BUILD-DIR VERSION. Exits 77 (skipped) unless root.
set -euo pipefail
build=$(realpath "$1") version=$2
arch=$(dpkg --print-architecture)
converter="$build/zenivor-convert_${version}_$arch.deb"
window="$build/zenivor_${version}_$arch.deb"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing the packages needs root"
    exit 77
fi
for package in zenivor zenivor-convert; do
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        echo "skipped: a $package package is already installed here and is left alone"
        exit 77
    fi
done
[ -f "$converter" ] && [ -f "$window" ] || { echo "FAIL no packages in $build"; exit 1; }

scratch=$(mktemp -d)
installed=
cleanup() {
    [ -z "$installed" ] || DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zenivor zenivor-convert >/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
apt_install() { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null; }

installed=yes
apt_install "$converter"
dpkg-query -W -f='${Status}' zenivor 2>/dev/null | grep -q "install ok installed" &&
    { echo "FAIL installing zenivor-convert installed the window"; exit 1; }
echo "ok   apt-get install zenivor-convert alone"

converts() {
    local out=$1 ground=$2
    shift 2
    env "$@" /usr/bin/zenivor-convert -q /usr/share/zenivor/samples/sky-2016.tga "$out"
    for name in F0010001 F0020001 F0030001 F0040001 F0050001 F0060001; do
        size=$(stat -c %s "$out/$name.tga")
        [ "$size" -eq 762066 ] || { echo "FAIL $name.tga has $size bytes"; exit 1; }
    done
    cmp "$out/F0060001.tga" "$ground"
}
converts "$scratch/cube" /usr/share/zenivor/F0060001.tga HOME="$scratch/nobody" XDG_DATA_HOME=
echo "ok   /usr/bin/zenivor-convert wrote the six files with the installed ground"
mkdir -p "$scratch/home/.local/share/zenivor"
cp /usr/share/zenivor/samples/sky-504.tga "$scratch/home/.local/share/zenivor/F0060001.tga"
converts "$scratch/own" "$scratch/home/.local/share/zenivor/F0060001.tga" HOME="$scratch/home" XDG_DATA_HOME=
echo "ok   the user's own ground is preferred"

apt_install "$window"
[ "$(QT_QPA_PLATFORM=no-such-platform /usr/bin/zenivor --version)" = "zenivor $version" ]
echo "ok   apt-get install zenivor; /usr/bin/zenivor --version"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zenivor zenivor-convert >/dev/null
installed=
for path in /usr/bin/zenivor /usr/bin/zenivor-convert /usr/lib/zenivor /usr/share/zenivor /usr/share/doc/zenivor \
    /usr/share/doc/zenivor-convert; do
    [ ! -e "$path" ] || { echo "FAIL $path left after removal"; exit 1; }
done
echo "ok   apt-get purge left nothing behind"
