#!/usr/bin/env bash
# Installs the Debian 12 packages Halvorn needs to build, test and run; only the missing ones.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libprotobuf-dev protobuf-compiler
  libsimpleini-dev
  libssl-dev openssl
  qt6-base-dev qt6-base-private-dev qt6-qpa-plugins libgl-dev
  fonts-wqy-microhei
  libgtest-dev libgmock-dev libbenchmark-dev
  libasio-dev nlohmann-json3-dev
  clang-format
  desktop-file-utils dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
