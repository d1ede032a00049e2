#!/usr/bin/env bash
# Builds the fuzz targets with clang in build/fuzz and runs each of them for SECONDS (default
# 600), two at a time, each over a corpus kept between runs in build/fuzz/corpus/<target>
# (started from the seed corpus, which it grows). An input that crashes a target is kept in
# build/fuzz/crashes/<target>/; the script ends with status 1 if any target failed.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]  (WQ_FUZZ_BUILD names another build folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-600}
shift || true
build=${WQ_FUZZ_BUILD:-build/fuzz}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target wq_fuzz -j2

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for fuzzer in "$build"/fuzz/fuzz_*; do targets+=("${fuzzer##*/fuzz_}"); done
fi

run() {
  local name=$1 corpus="$build/corpus/$1" crashes="$build/crashes/$1/"
  mkdir -p "$corpus" "$crashes"
  cp -rn "$build/fuzz-seeds/$name/." "$corpus/" 2>/dev/null || true
  "$build/fuzz/fuzz_$name" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -dict="$build/fuzz-seeds/$name.dict" -artifact_prefix="$crashes" -print_final_stats=1 \
    >"$build/crashes/$name.log" 2>&1
}

status=0
pids=()
names=()
for name in "${targets[@]}"; do
  # At most two at a time: one per core of the usual build machine.
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || { echo "FAILED: ${names[0]} (see $build/crashes/${names[0]}.log)"; status=1; }
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
  echo "fuzzing $name for ${seconds}s"
  run "$name" &
  pids+=($!)
  names+=("$name")
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || { echo "FAILED: ${names[$i]} (see $build/crashes/${names[$i]}.log)"; status=1; }
done
exit $status
