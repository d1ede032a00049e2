#!/usr/bin/env bash
# Installs what is missing, checks the layout of the C++ files with clang-format, builds the
# library with warnings as errors, runs every test, then builds the unit tests once more under
# AddressSanitizer + UndefinedBehaviorSanitizer (with LeakSanitizer) and runs them, and last
# fuzzes every fuzz target for a bounded time with clang's libFuzzer. The flags of each build
# and test stage are the presets of CMakePresets.json (ci, asan, fuzz).
# Usage: scripts/test.sh [extra ctest arguments]
#
# WQ_TEST_BUDGET_SECONDS (default 4800) bounds the whole run: a later stage that would not
# fit in what is left is skipped with a line saying so, so a slow machine still reports the
# stages that ran instead of being cut off. Under CI=true a stage that does not fit fails the
# run instead (a line naming the stage, exit status 1): CI passes only with every stage run.
# A file that clang-format would lay out otherwise fails the run at its end, after the tests.
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

# Every tracked C++ file as .clang-format lays it out; `clang-format -i` on the files named
# mends them.
format_status=0
format_log=$(mktemp)
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror 2>"$format_log"; then
  format_status=1
  head -n 40 "$format_log"
  echo "FAILED: clang-format would change $(grep -c ': error: ' "$format_log") places in" \
    "$(grep -o '^[^:]*:[0-9]*:[0-9]*: error' "$format_log" | cut -d: -f1 | sort -u | wc -l)" \
    "files; to mend: git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i" >&2
fi
rm -f "$format_log"
stage "format check"

cmake --preset ci >/dev/null
cmake --build --preset ci -j"$jobs"
stage "build"
ctest --preset ci -j"$jobs" "$@"
stage "tests"

# The sanitizer build needs only the programs behind the unit tests, among them the fuzz
# targets' replay programs, so that kept crashing inputs meet the sanitizers in every run.
unit_targets=$(cd build/ci && ctest -N -L unit --show-only=json-v1 | python3 -c '
import json, os, sys
tests = json.load(sys.stdin)["tests"]
names = {os.path.basename(t["command"][0]) for t in tests if t.get("command")}
print(" ".join(sorted(n for n in names if n.endswith("_tests") or n.startswith("replay_"))))')
if fits 1500 "unit tests under AddressSanitizer/UndefinedBehaviorSanitizer"; then
  cmake --preset asan >/dev/null
  # shellcheck disable=SC2086
  cmake --build --preset asan -j"$jobs" --target $unit_targets
  stage "sanitizer build"
  # The preset picks the unit tests and sets ASAN_OPTIONS and UBSAN_OPTIONS.
  ctest --preset asan -j"$jobs" "$@"
  stage "sanitizer tests"
fi

# Each fuzz target runs for WQ_FUZZ_SECONDS (20) from its seed corpus; only the fuzz
# targets are built in this tree. The extra ctest arguments are for the stages above.
if fits 900 "fuzzing"; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j"$jobs"
  ctest --preset fuzz -j"$jobs"
fi
echo "test command finished in $((SECONDS - start)) s"
if [ "$format_status" != 0 ]; then
  echo "FAILED: the clang-format check (see its lines at the start)" >&2
  exit 1
fi
