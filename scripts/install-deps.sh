#!/usr/bin/env bash
# Installs what building and testing the library needs on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
pkgs=(
  build-essential cmake pkg-config git
  libcurl4-openssl-dev libssl-dev libssh2-1-dev
  libboost1.81-dev libboost-json1.81-dev
  libcpp-httplib-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  openssl ca-certificates iproute2 util-linux procps
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
