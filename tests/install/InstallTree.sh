#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the tree as the desktop, man, bash and a
# user will meet it. Changes nothing outside the build and the temporary folders.
# Usage: InstallTree.sh BUILD-DIR VERSION APP-ID
set -uo pipefail
build=$1 version=$2 app=$3
prefix=$(mktemp -d)
scratch=$(mktemp -d)
trap 'rm -rf "$prefix" "$scratch"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL cmake --install"; exit 1; }
cd "$prefix"
# Whatever ground the user running the tests keeps is not the installed one.
export XDG_DATA_HOME="$scratch/no-data" HOME="$scratch/no-home"

failures=0
check() {
    local name=$1
    shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

gui=
[ -e lib/zenivor/zenivor ] && gui=yes
expected_files=(
    lib/zenivor/zenivor-convert share/zenivor/F0060001.tga share/zenivor/Zenivor.html
    share/zenivor/samples/sky-504.tga share/zenivor/samples/sky-1008.tga share/zenivor/samples/sky-2016.tga
    share/man/man1/zenivor-convert.1.gz share/bash-completion/completions/zenivor-convert
    share/doc/zenivor-convert/README.md share/doc/zenivor-convert/copyright share/doc/zenivor-convert/changelog.gz)
[ -n "$gui" ] && expected_files+=(
    lib/zenivor/zenivor "share/applications/$app.desktop" "share/metainfo/$app.metainfo.xml"
    "share/icons/hicolor/scalable/apps/$app.svg" share/man/man1/zenivor.1.gz
    share/doc/zenivor/copyright share/doc/zenivor/changelog.gz)
for file in "${expected_files[@]}"; do check "installed $file" test -f "$file"; done
# The architecture-independent files are in share/ only.
only_programs() { [ "$(ls lib/zenivor | sort | tr '\n' ' ')" = "$1" ]; }
check "lib/zenivor holds only the programs" only_programs "${gui:+zenivor }zenivor-convert "

# The icon's fixed sizes, each as large as its folder says.
icon_size_is() { file -L "share/icons/hicolor/$1x$1/apps/$app.png" | grep -q "PNG image data, $1 x $1,"; }
if [ -n "$gui" ]; then
    for size in 16 22 24 32 48 64 128 256; do check "icon $size x $size" icon_size_is "$size"; done
fi

# The commands on the path are relative links to the programs, and answer --version and -V.
link_points_to() { [ "$(readlink "bin/$1")" = "../lib/zenivor/$1" ]; }
answers_version() { [ "$(QT_QPA_PLATFORM=no-such-platform "bin/$1" "$2")" = "$1 $version" ]; }
for program in zenivor-convert ${gui:+zenivor}; do
    check "bin/$program is a relative link" link_points_to "$program"
    for flag in --version -V; do check "bin/$program $flag" answers_version "$program" "$flag"; done
done

# Through the link the converter finds the ground template in share/zenivor, and prefers the
# user's own ground when there is one.
cube_ground_is() {
    local ground=$1 out
    shift
    out=$(mktemp -d -p "$scratch") && bin/zenivor-convert "$@" share/zenivor/samples/sky-2016.tga "$out" &&
        cmp -s "$out/F0060001.tga" "$ground" &&
        [ "$(find "$out" -name 'F00[1-6]0001.tga' -size 762066c | wc -l)" -eq 6 ]
}
check "bin/zenivor-convert converts the bundled sample" cube_ground_is share/zenivor/F0060001.tga
mkdir -p "$scratch/home/.local/share/zenivor" "$scratch/data/zenivor"
cp share/zenivor/samples/sky-504.tga "$scratch/home/.local/share/zenivor/F0060001.tga"
# The same picture with one pixel changed, so the two grounds differ.
cp share/zenivor/samples/sky-504.tga "$scratch/data/zenivor/F0060001.tga"
printf '\377\377\377' | dd of="$scratch/data/zenivor/F0060001.tga" bs=1 seek=1000 conv=notrunc status=none
XDG_DATA_HOME= HOME="$scratch/home" check "the user's ground in ~/.local/share/zenivor is preferred" \
    cube_ground_is "$scratch/home/.local/share/zenivor/F0060001.tga"
XDG_DATA_HOME="$scratch/data" check "the user's ground in \$XDG_DATA_HOME/zenivor is preferred" \
    cube_ground_is "$scratch/data/zenivor/F0060001.tga"
check "--ground FILE is copied" cube_ground_is share/zenivor/samples/sky-504.tga --ground share/zenivor/samples/sky-504.tga

# The release build's converter under an address space far smaller than what a file declares
# or holds: it reads only what the cube needs (tests that limit the address space cannot run
# under AddressSanitizer, so they are checked here too).
limited() { (ulimit -v $((256 * 1024)) && "$@"); }
trailing_bytes_unread() {
    cp share/zenivor/samples/sky-2016.tga "$scratch/trailing.tga" &&
        truncate -s +4G "$scratch/trailing.tga" && limited bin/zenivor-convert -q "$scratch/trailing.tga" "$scratch/t"
}
check "4 GiB after the pixels are never read" trailing_bytes_unread
tiny_file_refused() {
    # An 18-byte TGA header declaring 16384 x 16384 pixels of 24 bits, and nothing after it.
    printf '\0\0\2\0\0\0\0\0\0\0\0\0\0\100\0\100\30\0' >"$scratch/declares.tga"
    local said
    said=$(limited bin/zenivor-convert --fit "$scratch/declares.tga" "$scratch/d" 2>&1)
    [ $? -eq 1 ] && grep -q "error: 13 (the file ends inside its pixel data)" <<<"$said" || { echo "$said"; return 1; }
}
check "a tiny file declaring a huge image reserves nothing for it" tiny_file_refused

silent() { local output; output=$("$@" 2>&1) && [ -z "$output" ] || { echo "$output"; return 1; }; }
if [ -n "$gui" ]; then
    check "desktop-file-validate" silent desktop-file-validate "share/applications/$app.desktop"
    check "appstreamcli validate --no-net" appstreamcli validate --no-net "share/metainfo/$app.metainfo.xml"
fi

# The manual pages render without warnings and name the files where this prefix put them.
renders() {
    local page=$1 text warnings
    warnings=$(mktemp -p "$scratch")
    text=$(MANWIDTH=200 man --warnings -l "share/man/man1/$page.1.gz" 2>"$warnings")
    local status=$?
    [ ! -s "$warnings" ] || { cat "$warnings"; status=1; }
    [ $status -eq 0 ] && grep -q "^NAME" <<<"$text" && grep -q "^EXIT STATUS" <<<"$text" &&
        grep -q -- "$page" <<<"$text" && grep -qF "$prefix/share/zenivor/" <<<"$text" &&
        ! grep -q "PREFIX" <<<"$text"
}
for page in zenivor-convert ${gui:+zenivor}; do check "man -l $page.1.gz" renders "$page"; done

# Completion: options after a dash, the --preview value as a PNG, the strip as a TGA.
completes() {
    local expected=$1
    shift
    local got
    got=$(cd "$prefix/share/zenivor/samples" && bash -c '
        source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _zenivor_convert; echo "${COMPREPLY[*]}"' \
        "$prefix/share/bash-completion/completions/zenivor-convert" "$@")
    [ "$got" = "$expected" ] || { echo "completed '$*' as '$got'"; return 1; }
}
check "completion of --pr" completes "--preview" zenivor-convert --pr
check "completion of --ver" completes "--verbose --version" zenivor-convert --ver
check "completion of --no-" completes "--no-clobber" zenivor-convert --no-
check "completion of the strip" completes "sky-1008.tga" zenivor-convert -v sky-10
check "completion after --preview" completes "" zenivor-convert --preview sky-10
check "completion of --ground's kinds" completes "nadir" zenivor-convert --equirect --ground n
check "completion of --ground's file" completes "sky-504.tga" zenivor-convert --ground sky-5
check "completion of --eq" completes "--equirect" zenivor-convert --eq
check "completion of a batch's strips" completes "sky-1008.tga" zenivor-convert --batch out sky-504.tga sky-10

echo "$failures failed"
[ "$failures" -eq 0 ]
