#!/usr/bin/env bash
# Installs the Debian packages the project needs; does nothing when all are there.
#   install-deps.sh main   what building the library, the software token and kxf-host needs
#   install-deps.sh test   main, plus what the tests, benchmarks and CI checks need
#   install-deps.sh        the same as test
set -euo pipefail

main=(
  cmake make g++ pkg-config
  qt6-base-dev libssl-dev libp11-kit-dev nlohmann-json3-dev
)
test=(
  binutils clang-format qtbase5-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  softhsm2
  dpkg-dev file
  openssl
  opensc gnutls-bin p11-kit libengine-pkcs11-openssl # PKCS#11 module tests: real clients
)

case "${1:-test}" in
main) packages=("${main[@]}") ;;
test) packages=("${main[@]}" "${test[@]}") ;;
*)
  echo "usage: $0 [main|test]" >&2
  exit 2
  ;;
esac

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
