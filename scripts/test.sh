#!/usr/bin/env bash
# Installs what is missing, builds the library with warnings as errors, runs every test,
# then builds the unit tests once more under AddressSanitizer + UndefinedBehaviorSanitizer
# and runs them. Usage: scripts/test.sh [extra ctest arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

if [ "$(id -u)" = 0 ]; then
  bash scripts/install-deps.sh
fi

cmake -S . -B build/ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWQOSDK_WERROR=ON >/dev/null
cmake --build build/ci -j"$jobs"
(cd build/ci && ctest --output-on-failure -j"$jobs" --timeout 900 "$@")

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DWQOSDK_WERROR=ON -DWQOSDK_SANITIZE=ON \
  -DWQOSDK_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/asan && ctest --output-on-failure -j"$jobs" --timeout 900 -L unit "$@")
