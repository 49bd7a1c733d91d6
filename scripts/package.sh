#!/usr/bin/env bash
# Builds the release and makes its two Debian packages, build/release/zenivor-convert_<version>_<arch>.deb
# (the converter, no Qt) and build/release/zenivor_<version>_<arch>.deb (the window), then has
# lintian check them (any error fails). Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --packaging
cmake --preset release "$@"
cmake --build --preset release -j2
rm -f build/release/zenivor*.deb
(cd build/release && cpack -G DEB)
mapfile -t packages < <(ls build/release/zenivor*.deb)
status=0
findings=$(lintian --fail-on error "${packages[@]}" 2>&1) || status=$?
# Its note about running as root is no finding about the packages.
grep -v "running with root privileges" <<<"$findings" || true
[ "$status" -eq 0 ] || { echo "lintian found errors in ${packages[*]}"; exit 1; }
echo "Made ${packages[*]}"
