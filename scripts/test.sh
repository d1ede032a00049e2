#!/usr/bin/env bash
# Installs what is missing, builds the library with warnings as errors, runs every test,
# then builds the unit tests once more under AddressSanitizer + UndefinedBehaviorSanitizer
# (with LeakSanitizer) and runs them, and last fuzzes every fuzz target for a bounded time
# with clang's libFuzzer. Usage: scripts/test.sh [extra ctest arguments]
#
# WQ_TEST_BUDGET_SECONDS (default 4800) bounds the whole run: a later stage that would not
# fit in what is left is skipped with a line saying so, so a slow machine still reports the
# stages that ran instead of being cut off. Under CI=true a stage that does not fit fails the
# run instead (a line naming the stage, exit status 1): CI passes only with every stage run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
budget=${WQ_TEST_BUDGET_SECONDS:-4800}
start=$SECONDS

# stage NAME: prints how long the run has taken when NAME is done.
stage() { echo "== $1 done after $((SECONDS - start)) s"; }

# fits SECONDS NAME: true when a stage expected to take that long still fits the budget.
fits() {
  local left=$((budget - (SECONDS - start)))
  if [ "$left" -lt "$1" ]; then
    if [ "${CI:-}" = true ]; then
      echo "FAILED: $2 was not run (needs about $1 s, $left s of the test budget left)" >&2
      exit 1
    fi
    echo "SKIPPED: $2 (needs about $1 s, $left s of the test budget left)"
    return 1
  fi
}

if [ "$(id -u)" = 0 ]; then
  bash scripts/install-deps.sh
fi

# Line tables only: full debug information triples the compile time of the table-heavy codec.
cmake -S . -B build/ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWQOSDK_WERROR=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
cmake --build build/ci -j"$jobs"
stage "build"
(cd build/ci && ctest --output-on-failure -j"$jobs" --timeout 900 "$@")
stage "tests"

# The sanitizer build needs only the programs behind the unit tests, among them the fuzz
# targets' replay programs, so that kept crashing inputs meet the sanitizers in every run.
unit_targets=$(cd build/ci && ctest -N -L unit --show-only=json-v1 | python3 -c '
import json, os, sys
tests = json.load(sys.stdin)["tests"]
names = {os.path.basename(t["command"][0]) for t in tests if t.get("command")}
print(" ".join(sorted(n for n in names if n.endswith("_tests") or n.startswith("replay_"))))')
if fits 1500 "unit tests under AddressSanitizer/UndefinedBehaviorSanitizer"; then
  cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DWQOSDK_WERROR=ON -DWQOSDK_SANITIZE=ON \
    -DWQOSDK_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" >/dev/null
  # shellcheck disable=SC2086
  cmake --build build/asan -j"$jobs" --target $unit_targets
  stage "sanitizer build"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  (cd build/asan && ctest --output-on-failure -j"$jobs" --timeout 900 -L unit -E '^valgrind_' "$@")
  stage "sanitizer tests"
fi

# Each fuzz target runs for WQ_FUZZ_SECONDS (20) from its seed corpus; only the fuzz
# targets are built in this tree. The extra ctest arguments are for the stages above.
if [ -f fuzz/CMakeLists.txt ] && fits 900 "fuzzing"; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DWQOSDK_FUZZ=ON -DWQOSDK_WERROR=ON \
    -DWQOSDK_BUILD_TESTS=OFF -DWQOSDK_BUILD_BENCH=OFF >/dev/null
  cmake --build build/fuzz --target wq_fuzz -j"$jobs"
  (cd build/fuzz && ctest --output-on-failure -j"$jobs" -L fuzz)
fi
echo "test command finished in $((SECONDS - start)) s"
