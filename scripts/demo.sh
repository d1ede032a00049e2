#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds the library, starts the
# built-in test cluster on loopback and lists its projects through the library.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ "$(id -u)" = 0 ]; then bash scripts/install-deps.sh; fi
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWQOSDK_BUILD_TESTS=OFF -DWQOSDK_BUILD_BENCH=OFF >/dev/null
cmake --build build/demo -j"$(nproc)" --target wqsim-test-server wqosdk-list-projects

work=$(mktemp -d)
trap 'kill $server_pid 2>/dev/null || true; pkill -P $$ sleep 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1000000 | build/demo/simulator/wqsim-test-server --user developer --password developer \
  --token demo-service-account-token >"$work/out" &
server_pid=$!
url=
for _ in $(seq 100); do
  url=$(awk '$1 == "listening" {print $2; exit}' "$work/out")
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { echo "the test cluster did not start" >&2; exit 1; }
echo "test cluster at $url"
echo "projects seen by user 'developer':"
WQOSDK_LOG_FILE=$work/log build/demo/examples/wqosdk-list-projects "$url" developer developer
echo "projects seen by service account 'builder':"
WQOSDK_LOG_FILE=$work/log build/demo/examples/wqosdk-list-projects "$url" --token builder demo-service-account-token
