#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the run need, when any is missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libbenchmark-dev libpng-dev libjpeg62-turbo-dev python3 "$@")
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
