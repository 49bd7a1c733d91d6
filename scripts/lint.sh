#!/usr/bin/env bash
# Checks the house style (clang-format) of every C++ file and runs clang-tidy's checks on every
# C++ source of the project (the static analyser on the core and the converter only; see the
# .clang-tidy files), using a build's compile commands. clang-tidy checks the sources compiled
# alike as one translation unit each, on both cores (scripts/tidy.py says why and how).
# Usage: scripts/lint.sh [BUILD-FOLDER]   (default build/dev, built already: it holds the
# generated headers)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
mapfile -t sources < <(git ls-files '*.cpp' '*.h' | grep -v '^tools/bench/io_floor')
clang-format --dry-run -Werror "${sources[@]}"
echo "clang-format: ${#sources[@]} files in the house style"
# The floors of scripts/bench.sh are built by it alone, outside CMake, against the libraries only.
mapfile -t checked < <(git ls-files '*.cpp' | grep -Ev '^tools/bench/(io_floor|make_wide_panoramas|wide_floor)')
scripts/tidy.py "$build" "${checked[@]}"
