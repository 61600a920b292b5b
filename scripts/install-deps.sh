#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with; does nothing when all are there.
set -euo pipefail

packages=(
  cmake make g++ pkg-config binutils clang-format
  qt6-base-dev qtbase5-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libssl-dev libp11-kit-dev softhsm2
  opensc gnutls-bin p11-kit libengine-pkcs11-openssl # PKCS#11 module tests: real clients
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
