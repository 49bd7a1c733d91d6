#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, checks the style (clang-format,
# clang-tidy), and runs every test: once in the development build (with the install tests; the
# package round trip only as root), once with AddressSanitizer and UndefinedBehaviorSanitizer
# (Clang), which also runs each fuzzer briefly, and finally builds the release and its Debian
# package, which lintian checks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --packaging

export QT_QPA_PLATFORM=offscreen
cmake --preset dev -DZENIVOR_WERROR=ON
cmake --build --preset dev -j2
# The house style and clang-tidy's checks, on the development build's compile commands.
scripts/lint.sh build/dev
if [ "$(id -u)" -ne 0 ]; then
    echo "Not root: the package round trip (install with apt-get, convert, remove) is skipped."
fi
ctest --preset dev -j2

cmake --preset asan -DZENIVOR_WERROR=ON
cmake --build --preset asan -j2
# The install tests check the same tree as in the development build.
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" ctest --preset asan -j2 -LE install

scripts/package.sh -DZENIVOR_WERROR=ON
