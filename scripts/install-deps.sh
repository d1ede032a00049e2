#!/usr/bin/env bash
# Installs what building and testing the library needs on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
pkgs=(
  build-essential cmake pkg-config git dpkg-dev lintian
  libcurl4-openssl-dev libssl-dev libssh2-1-dev
  libboost1.81-dev libboost-json1.81-dev
  libcpp-httplib-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  openssl ca-certificates iproute2 util-linux procps valgrind
  openssh-server openssh-client glusterfs-server glusterfs-client python3
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A fresh install of these packages may start the machine's own services; the
# storage-node sandbox (sandbox/) runs its own sshd and glusterd inside
# namespaces, and a CI machine must not be left running them. Only the services
# of packages installed by this run are stopped, so a second run changes nothing.
stop_services_of() {
  local pkg=$1 svc
  shift
  [[ " ${missing[*]} " == *" $pkg "* ]] || return 0
  for svc in "$@"; do
    if [ -d /run/systemd/system ]; then
      systemctl disable --now "$svc" >/dev/null 2>&1 || true
    elif [ -x "/etc/init.d/$svc" ]; then
      "/etc/init.d/$svc" stop >/dev/null 2>&1 || true
    fi
  done
}
if [ "${#missing[@]}" -gt 0 ]; then
  stop_services_of openssh-server ssh
  stop_services_of glusterfs-server glusterd rpcbind.socket rpcbind
fi
