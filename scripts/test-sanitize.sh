#!/usr/bin/env bash
# The test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/;
# with --thread, the tests of the threaded capture code (the background frame writer and the
# conversion runs that use it) built with ThreadSanitizer, in build-tsan/.
#   scripts/test-sanitize.sh [--thread]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [[ "${1:-}" == "--thread" ]]; then
  if [ ! -f build-tsan/build.ninja ]; then
    cmake -S . -B build-tsan -G Ninja -DFILMCAST_SANITIZE_THREAD=ON -DFILMCAST_BUILD_GUI=OFF \
      -DFILMCAST_BUILD_BENCHMARKS=OFF
  fi
  cmake --build build-tsan --parallel "$(nproc)" --target capture_run_tests
  cd build-tsan
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  ./tests/capture/capture_run_tests
  exit 0
fi
BUILD_DIR=build-asan scripts/build.sh -DFILMCAST_SANITIZE=ON -DFILMCAST_BUILD_BENCHMARKS=OFF
cd build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/../scripts/lsan-suppressions.txt:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 1200
