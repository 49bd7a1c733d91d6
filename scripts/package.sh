#!/usr/bin/env bash
# Builds the release and makes the Debian package build/release/zenivor_<version>_<arch>.deb,
# then has lintian check it (any error fails). Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --packaging
cmake --preset release "$@"
cmake --build --preset release -j2
(cd build/release && cpack -G DEB)
package=$(ls -t build/release/zenivor_*.deb | head -n 1)
status=0
findings=$(lintian --fail-on error "$package" 2>&1) || status=$?
# Its note about running as root is no finding about the package.
grep -v "running with root privileges" <<<"$findings" || true
[ "$status" -eq 0 ] || { echo "lintian found errors in $package"; exit 1; }
echo "Made $package"
