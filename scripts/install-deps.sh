#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the run need, when any is missing.
# --packaging adds the tools that check the installed tree and the package (validators, man,
# lintian, dpkg-shlibdeps); further arguments are more packages to install.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libpng-dev libjpeg62-turbo-dev libtiff-dev libwebp-dev libopenexr-dev
          liblcms2-dev pkg-config python3 librsvg2-bin xdg-utils
          clang-format clang-tidy)
packaging=(desktop-file-utils appstream man-db lintian dpkg-dev file)
for argument in "$@"; do
    if [ "$argument" = --packaging ]; then packages+=("${packaging[@]}"); else packages+=("$argument"); fi
done
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
