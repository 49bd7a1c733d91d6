#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the tree as the desktop, man, bash and a
# user will meet it. Usage: InstallTree.sh BUILD-DIR VERSION APP-ID
set -uo pipefail
build=$1 version=$2 app=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL cmake --install"; exit 1; }
cd "$prefix"

failures=0
check() {
    local name=$1
    shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

expected_files=(
    lib/zenivor/zenivor lib/zenivor/zenivor-convert lib/zenivor/F0060001.tga lib/zenivor/Zenivor.html
    lib/zenivor/samples/sky-2016.tga
    "share/applications/$app.desktop" "share/metainfo/$app.metainfo.xml"
    "share/icons/hicolor/scalable/apps/$app.svg"
    share/man/man1/zenivor.1.gz share/man/man1/zenivor-convert.1.gz
    share/bash-completion/completions/zenivor-convert
    share/doc/zenivor/Zenivor.html share/doc/zenivor/README.md share/doc/zenivor/copyright
    share/doc/zenivor/changelog.gz)
for file in "${expected_files[@]}"; do check "installed $file" test -f "$file"; done

# The icon's fixed sizes, each as large as its folder says.
icon_size_is() { file -L "share/icons/hicolor/$1x$1/apps/$app.png" | grep -q "PNG image data, $1 x $1,"; }
for size in 16 22 24 32 48 64 128 256; do check "icon $size x $size" icon_size_is "$size"; done

# The commands on the path are relative links to the programs, and answer --version.
link_points_to() { [ "$(readlink "bin/$1")" = "../lib/zenivor/$1" ]; }
answers_version() { [ "$(QT_QPA_PLATFORM=no-such-platform "bin/$1" --version)" = "$1 $version" ]; }
for program in zenivor zenivor-convert; do
    check "bin/$program is a relative link" link_points_to "$program"
    check "bin/$program --version" answers_version "$program"
done

# Through the link the converter still finds the ground template beside the program.
converts_the_sample() {
    local out
    out=$(mktemp -d) && bin/zenivor-convert lib/zenivor/samples/sky-2016.tga "$out" &&
        cmp -s "$out/F0060001.tga" lib/zenivor/F0060001.tga &&
        [ "$(find "$out" -name 'F00[1-6]0001.tga' -size 762066c | wc -l)" -eq 6 ]
    local status=$?
    rm -rf "$out"
    return $status
}
check "bin/zenivor-convert converts the bundled sample" converts_the_sample

silent() { local output; output=$("$@" 2>&1) && [ -z "$output" ] || { echo "$output"; return 1; }; }
check "desktop-file-validate" silent desktop-file-validate "share/applications/$app.desktop"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "share/metainfo/$app.metainfo.xml"

renders() {
    local page=$1 text warnings
    warnings=$(mktemp)
    text=$(MANWIDTH=80 man --warnings -l "share/man/man1/$page.1.gz" 2>"$warnings")
    local status=$?
    [ ! -s "$warnings" ] || { cat "$warnings"; status=1; }
    rm -f "$warnings"
    [ $status -eq 0 ] && grep -q "^NAME" <<<"$text" && grep -q "^EXIT STATUS" <<<"$text" &&
        grep -q -- "$page" <<<"$text"
}
for page in zenivor zenivor-convert; do check "man -l $page.1.gz" renders "$page"; done

# Completion: options after a dash, the --preview value as a PNG, the strip as a TGA.
completes() {
    local expected=$1
    shift
    local got
    got=$(cd "$prefix/lib/zenivor/samples" && bash -c '
        source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _zenivor_convert; echo "${COMPREPLY[*]}"' \
        "$prefix/share/bash-completion/completions/zenivor-convert" "$@")
    [ "$got" = "$expected" ] || { echo "completed '$*' as '$got'"; return 1; }
}
check "completion of --pr" completes "--preview" zenivor-convert --pr
check "completion of --ver" completes "--verbose --version" zenivor-convert --ver
check "completion of the strip" completes "sky-1008.tga" zenivor-convert -v sky-10
check "completion after --preview" completes "" zenivor-convert --preview sky-10
check "completion of --ground" completes "nadir template" zenivor-convert --equirect --ground ""
check "completion of --eq" completes "--equirect" zenivor-convert --eq
check "completion of a batch's strips" completes "sky-1008.tga" zenivor-convert --batch out sky-504.tga sky-10

echo "$failures failed"
[ "$failures" -eq 0 ]
