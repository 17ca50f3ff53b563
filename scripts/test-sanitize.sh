#!/usr/bin/env bash
# The test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=build-asan scripts/build.sh -DFILMCAST_SANITIZE=ON -DFILMCAST_BUILD_BENCHMARKS=OFF
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt"
cd build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 1200
