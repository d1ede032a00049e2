#!/usr/bin/env bash
# The main job on a fresh machine (as root): installs what is missing, builds wqosctl and
# runs its demo: the sample application of a built-in cluster (simulated API, real sshd and
# GlusterFS storage nodes in a sandbox) is backed up, deleted and restored, and every file
# and object is checked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ "$(id -u)" != 0 ]; then
  echo "demo.sh: run as root: the storage nodes run in Linux namespaces and mount GlusterFS" >&2
  exit 1
fi
bash scripts/install-deps.sh
build=${WQOSDK_DEMO_BUILD_DIR:-build/demo}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWQOSDK_BUILD_TESTS=OFF \
  -DWQOSDK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target wqosctl wqOpenShiftCLI
exec "$build/tools/wqosctl/wqosctl" demo "$@"
