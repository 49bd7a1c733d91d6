#!/usr/bin/env bash
# Checks the two Debian packages that scripts/package.sh made in a build (the release build):
# what each holds, what each depends on, and that the converter's package on its own pulls in
# no Qt, following its dependencies through the archive's package lists. Changes nothing.
# Usage: PackageContents.sh BUILD-DIR VERSION. Exits 77 (skipped) when the build has no packages.
set -uo pipefail
build=$1 version=$2
arch=$(dpkg --print-architecture)
converter="$build/zenivor-convert_${version}_$arch.deb"
window="$build/zenivor_${version}_$arch.deb"
if [ ! -f "$converter" ]; then
    echo "skipped: no packages in $build (scripts/package.sh makes them in build/release)"
    exit 77
fi

failures=0
check() {
    local name=$1
    shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
holds() { dpkg-deb -c "$1" | awk '{print $6}' | grep -qx "./$2"; }
lacks() { ! dpkg-deb -c "$1" | awk '{print $6}' | grep -q "$2"; }
field_has() { dpkg-deb -f "$1" "$2" | grep -qE "$3" || { echo "$2: $(dpkg-deb -f "$1" "$2")"; return 1; }; }
field_lacks() { ! dpkg-deb -f "$1" "$2" | grep -qE "$3" || { echo "$2: $(dpkg-deb -f "$1" "$2")"; return 1; }; }

for file in usr/lib/zenivor/zenivor-convert usr/bin/zenivor-convert usr/share/zenivor/F0060001.tga \
    usr/share/zenivor/Zenivor.html usr/share/zenivor/samples/sky-2016.tga usr/share/man/man1/zenivor-convert.1.gz \
    usr/share/bash-completion/completions/zenivor-convert usr/share/doc/zenivor-convert/copyright \
    usr/share/doc/zenivor-convert/changelog.gz; do
    check "zenivor-convert holds /$file" holds "$converter" "$file"
done
check "zenivor-convert holds no window" lacks "$converter" 'zenivor$\|applications\|icons\|metainfo'
check "zenivor-convert depends on libpng and libjpeg" field_has "$converter" Depends 'libpng16-16.*libjpeg62-turbo|libjpeg62-turbo.*libpng16-16'
check "zenivor-convert depends on no Qt" field_lacks "$converter" Depends 'qt|libgl'

# The whole closure of its dependencies, as apt would install them on a machine without Qt.
pulls_no_qt() {
    local names closure
    names=$(dpkg-deb -f "$converter" Depends | tr ',' '\n' | sed 's/(.*)//; s/|.*//; s/ //g')
    # shellcheck disable=SC2086
    closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances $names 2>/dev/null | grep -v '^ ' | sort -u)
    [ -n "$closure" ] || { echo "apt-cache knows none of: $names"; return 1; }
    ! grep -iE 'qt|libx11|libgl' <<<"$closure" || return 1
}
check "zenivor-convert pulls in no Qt, X11 or OpenGL library" pulls_no_qt

if [ -f "$window" ]; then
    for file in usr/lib/zenivor/zenivor usr/bin/zenivor usr/share/applications/org.zenivor.Zenivor.desktop \
        usr/share/metainfo/org.zenivor.Zenivor.metainfo.xml usr/share/man/man1/zenivor.1.gz \
        usr/share/doc/zenivor/copyright usr/share/doc/zenivor/changelog.gz; do
        check "zenivor holds /$file" holds "$window" "$file"
    done
    check "zenivor leaves the converter's files to its package" lacks "$window" 'zenivor-convert\|share/zenivor/'
    check "zenivor depends on zenivor-convert of its version" field_has "$window" Depends "zenivor-convert \(= $version\)"
    check "zenivor depends on Qt" field_has "$window" Depends 'libqt6widgets6'
    check "zenivor recommends xdg-utils" field_has "$window" Recommends '^xdg-utils$'
else
    echo "FAIL no $window"
    failures=$((failures + 1))
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
