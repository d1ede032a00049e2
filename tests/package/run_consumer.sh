#!/usr/bin/env bash
# Installs the built library into a temporary prefix, builds a consumer program against it
# through find_package and through pkg-config, and logs in to the test server with each build,
# once with a password and once with a service-account token.
# Usage: run_consumer.sh BUILD_DIR SOURCE_DIR TEST_SERVER
set -euo pipefail
build=$1 src=$2 server=$3
work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  pkill -P $$ sleep 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null

cmake -S "$src/consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null

pcdir=$(dirname "$(find "$work/prefix" -name wqosdk.pc | head -n 1)")
export PKG_CONFIG_PATH=$pcdir
libdir=$(pkg-config --variable=libdir wqosdk)
g++ -std=c++17 -o "$work/pc-consumer" "$src/../../examples/listProjects.cpp" $(pkg-config --cflags --libs wqosdk) \
  -Wl,-rpath,"$libdir"

sleep 1000000 | "$server" --user developer --password 's3cret!' --token sa-token-123456 >"$work/out" &
server_pid=$!
url=
for _ in $(seq 100); do
  url=$(awk '$1 == "listening" {print $2; exit}' "$work/out")
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { echo "test server did not start"; exit 1; }

export WQOSDK_LOG_FILE=$work/log
for bin in "$work/cmake-build/consumer" "$work/pc-consumer"; do
  for mode in password token; do
    if [ "$mode" = password ]; then
      names=$("$bin" "$url" developer 's3cret!')
    else
      names=$("$bin" "$url" --token builder sa-token-123456)
    fi
    [ -n "$names" ] || { echo "$bin ($mode): no projects listed"; exit 1; }
    echo "$bin ($mode): $(echo "$names" | tr '\n' ' ')"
  done
done
if "$work/pc-consumer" "$url" developer wrong 2>/dev/null; then
  echo "a wrong password logged in"; exit 1
fi
echo "consumer builds passed"
