#!/usr/bin/env bash
# Builds the Debian packages from the build tree, checks them with lintian, installs them into
# the machine's package database with apt-get (no service of theirs may be left running), builds
# a consumer against the installed library through find_package and through pkg-config, runs
# it against the installed simulated cluster, runs `wqosctl demo` from the installed tool and
# built-in cluster, and removes the packages again. Needs root.
# Usage: run_packages.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 src=$2
packages=(wqosdk-cluster wqosctl libwqosdk-dev libwqosdk0)
work=$(mktemp -d)
sim_pid=
policy=/usr/sbin/policy-rc.d
own_policy=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true
  if [ -n "$own_policy" ]; then rm -f "$policy"; fi
  rm -rf "$work"
}
trap cleanup EXIT
step() { echo "== $*"; }

step "packages"
(cd "$build" && cpack -G DEB -B "$work/debs" >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
debs=("$work"/debs/*.deb)
[ "${#debs[@]}" = "${#packages[@]}" ] || { echo "packages made: ${debs[*]}"; exit 1; }
# The library package carries its SONAME; the tool only suggests the built-in cluster.
dpkg-deb -c "$work"/debs/libwqosdk0_*.deb >"$work/lib.list"
grep -q 'libwqosdk\.so\.0 ->' "$work/lib.list"
dpkg-deb -c "$work"/debs/libwqosdk-dev_*.deb >"$work/dev.list"
[ "$(dpkg-deb -f "$work"/debs/wqosctl_*.deb Suggests)" = "wqosdk-cluster (= $(dpkg-deb -f "$work"/debs/wqosctl_*.deb Version))" ]
if dpkg-deb -f "$work"/debs/wqosctl_*.deb Depends | grep -E 'openssh-server|glusterfs-server' >/dev/null; then
  echo "the tool depends on a server package"; exit 1
fi
# Only public headers: none of the internal helpers is installed.
if grep -Eq 'Tables\.h|codecEngine\.h|sshKeys\.h|resourcePaths\.h|workflowSupport\.h|dcPods\.h' "$work/dev.list"; then
  echo "an internal header is packaged"; exit 1
fi

step "lintian"
lintian --fail-on error "${debs[@]}" || { echo "lintian reports errors"; exit 1; }

step "install"
# Package scripts may start services (sshd, glusterd) of newly installed dependencies:
# forbid that for the install, then check that none of them was started.
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  own_policy=1
fi
# Servers in this machine's own network namespace (the storage-node sandboxes of other
# tests run theirs in namespaces of their own).
servers() {
  for pid in $(pgrep -x 'sshd|glusterd|glusterfsd|rpcbind' || true); do
    [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" != "$(readlink /proc/self/ns/net)" ] || echo "$pid"
  done | sort
}
before=$(servers)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]}" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; exit 1; }
after=$(servers)
[ -z "$(comm -13 <(echo "$before") <(echo "$after"))" ] || { echo "installing started servers"; exit 1; }

step "consumer builds"
cmake -S "$src/consumer" -B "$work/cmake-build" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
g++ -std=c++17 -o "$work/pc-consumer" "$src/../../examples/listProjects.cpp" $(pkg-config --cflags --libs wqosdk)
ldd "$work/pc-consumer" >"$work/ldd"
grep -q '/libwqosdk\.so\.0' "$work/ldd"

step "consumers against the installed simulated cluster"
/usr/libexec/wqosdk/wqsim --port 0 --scenario /usr/share/wqosdk/scenarios/sample.json >"$work/sim.out" 2>&1 &
sim_pid=$!
url=
for _ in $(seq 100); do
  url=$(awk '$1 == "listening" {print $2; exit}' "$work/sim.out")
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { echo "the simulated cluster did not start"; cat "$work/sim.out"; exit 1; }
export WQOSDK_LOG_FILE=$work/log
for bin in "$work/cmake-build/consumer" "$work/pc-consumer"; do
  for login in "developer developer" "--token builder wqsim-sample-token-aVeryLongServiceAccount0"; do
    # shellcheck disable=SC2086
    "$bin" "$url" $login | grep -x demo >/dev/null || { echo "$bin $login: no project demo"; exit 1; }
  done
done
kill "$sim_pid"; sim_pid=

step "wqosctl demo from the packages"
(cd / && env -u WQOSCTL_CLI -u WQOSCTL_SANDBOX -u WQOSCTL_SAMPLE /usr/bin/wqosctl demo) >"$work/demo.log" 2>&1 ||
  { cat "$work/demo.log"; exit 1; }
tail -n 1 "$work/demo.log"
grep -q ' 0 failed' "$work/demo.log"

step "remove"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}" >/dev/null
if dpkg -l "${packages[@]}" 2>/dev/null | grep '^ii' >/dev/null; then echo "not removed"; exit 1; fi
echo "package test passed"
