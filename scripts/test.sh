#!/usr/bin/env bash
# The test command: installs what is missing, then builds each thing once and checks it.
# - The sanitizer build (Clang with AddressSanitizer and UndefinedBehaviorSanitizer, warnings
#   as errors) holds every test and the fuzzers.
# - The house style (clang-format) and clang-tidy's checks, on that build's compile commands.
# - Every test, under the sanitizers, with a 10-second run of each fuzzer (scripts/fuzz.sh
#   runs them for longer).
# - The release build (GCC, warnings as errors) and its two Debian packages, which lintian
#   checks, made beside all that; then the install tests on them. The round trip that installs
#   the packages with apt-get runs only when ZENIVOR_SYSTEM_TESTS=ON is in the environment, as
#   .ci/run sets it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each phase's time, printed at the end: the command has a time budget (see the README).
phases=()
phase() {
  local name=$1 from=$SECONDS
  shift
  "$@"
  phases+=("$name $((SECONDS - from)) s")
}
phase install scripts/install-deps.sh --packaging
export QT_QPA_PLATFORM=offscreen

# The release build, its packaging and lintian run beside the rest, at a lower priority: they
# take the time that the sanitizer build, the lint and the tests leave a core idle, and yield
# it when both cores are wanted. The install tests wait for all: they change the system that
# the tests look at.
mkdir -p build
package_log=build/package.log
# A process group of its own (job control), to be stopped whole; not a session of its own,
# which the scheduler would weigh as a peer of this one whatever its niceness.
set -m
nice -n 10 scripts/package.sh -DZENIVOR_WERROR=ON -DZENIVOR_SYSTEM_TESTS="${ZENIVOR_SYSTEM_TESTS:-OFF}" \
    >"$package_log" 2>&1 &
package=$!
set +m
trap 'kill -- "-$package" 2>/dev/null || true' EXIT  # its whole process group
phase configure cmake --preset asan -DZENIVOR_WERROR=ON
phase build cmake --build --preset asan -j2
phase lint scripts/lint.sh build/asan
# Three at a time on the two cores: some tests spend their time waiting (on a lock, a child
# process, the disk's flushes), and a third keeps the cores busy meanwhile.
phase tests env ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" ctest --preset asan -j3 -LE install
packaged() {
  local status=0
  wait "$package" || status=$?
  cat "$package_log"
  return "$status"
}
phase package-wait packaged
phase install-tests ctest --preset release -j2 -L install
printf -v summary '%s, ' "${phases[@]}"
echo "test.sh: passed in $SECONDS s (${summary%, })"
