#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in the development build, once
# with AddressSanitizer and UndefinedBehaviorSanitizer (Clang), which also runs the TGA fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
cmake --preset dev
cmake --build --preset dev
ctest --preset dev -j2

cmake --preset asan
cmake --build --preset asan
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" ctest --preset asan -j2
