#!/usr/bin/env bash
# Builds the Debian packages with CPack (prefix /usr, no tests) and checks what they hold:
# every file in its package's folders, the soname link, and the dependencies on Qt and OpenSSL.
# Packages land in build-deb/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_NOHASHDIR=1 # stripped packages carry no build folder names
fi
cmake -S . -B build-deb -DCMAKE_INSTALL_PREFIX=/usr -DUKEY_WERROR=ON -DUKEY_BUILD_TESTS=OFF \
  -DUKEY_BUILD_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
cmake --build build-deb -j"$jobs"
rm -rf build-deb/packages
(cd build-deb && cpack -G DEB -B "$PWD/packages" >/dev/null)

triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
lib="usr/lib/$triplet"
# package -> the files it may hold (extended regular expressions on the path without "./").
declare -A allowed=(
  [libukeyadaptor1]="$lib/libUKeyAdaptor\.so\.1(\.[0-9]+)*"
  [libukeyadaptor-dev]="usr/include/ukeyadaptor/[A-Za-z0-9_]+\.h|$lib/libUKeyAdaptor\.so|$lib/cmake/UKeyAdaptor/[A-Za-z-]+\.cmake|$lib/pkgconfig/ukeyadaptor\.pc"
  [ukeyadaptor-softtoken]="$lib/ukeyadaptor/libskfsoft\.so"
  [kxf-host]="usr/bin/kxf-host|usr/share/man/man1/kxf-host\.1(\.gz)?"
  [ukeyadaptor-pkcs11]="$lib/pkcs11/libukeyadaptor-pkcs11\.so|usr/share/p11-kit/modules/ukeyadaptor\.module|etc/ukeyadaptor/pkcs11\.conf"
)
# Folders any package may create on the way to its files.
folders="(usr|usr/bin|usr/include|usr/include/ukeyadaptor|usr/lib|$lib|$lib/ukeyadaptor|$lib/cmake|$lib/cmake/UKeyAdaptor|$lib/pkgconfig|$lib/pkcs11|usr/share|usr/share/man|usr/share/man/man1|usr/share/p11-kit|usr/share/p11-kit/modules|etc|etc/ukeyadaptor)?/"

fail=0
problem() {
  echo "ci-packages: $*" >&2
  fail=1
}

declare -A seen=()
for deb in build-deb/packages/*.deb; do
  package=$(dpkg-deb -f "$deb" Package)
  seen[$package]=1
  pattern=${allowed[$package]:-}
  [ -n "$pattern" ] || { problem "$deb: unexpected package $package"; continue; }
  echo "== $package: $(dpkg-deb -f "$deb" Depends)"
  while read -r path; do
    path=${path#./}
    if [[ $path == */ ]]; then
      [[ $path =~ ^${folders}$ ]] || problem "$package: unexpected folder $path"
    else
      [[ $path =~ ^(${pattern})$ ]] || problem "$package: file outside the expected folders: $path"
    fi
  done < <(dpkg-deb -c "$deb" | awk '{print $6}')
done
for package in libukeyadaptor1 libukeyadaptor-dev ukeyadaptor-softtoken kxf-host; do
  [ -n "${seen[$package]:-}" ] || problem "package $package was not built"
done

contents() { dpkg-deb -c build-deb/packages/"$1"_*.deb; }
depends() { dpkg-deb -f build-deb/packages/"$1"_*.deb Depends; }
# Hosts load libUKeyAdaptor.so.1: the runtime package holds that link to the file bearing the soname.
# (Whole listings are read before matching: an early exit would break dpkg-deb's pipe.)
link=$(contents libukeyadaptor1 | awk -v p="./$lib/libUKeyAdaptor.so.1" '$6 == p && $7 == "->" {print $8}')
[ -n "$link" ] || problem "libukeyadaptor1 lacks the soname link $lib/libUKeyAdaptor.so.1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x build-deb/packages/libukeyadaptor1_*.deb "$tmp"
soname=$(objdump -p "$tmp/$lib/libUKeyAdaptor.so.1" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = libUKeyAdaptor.so.1 ] || problem "libUKeyAdaptor.so.1 has soname '$soname'"
[[ $(contents libukeyadaptor-dev) == *"./$lib/libUKeyAdaptor.so -> libUKeyAdaptor.so.1"* ]] ||
  problem "libukeyadaptor-dev lacks the link libUKeyAdaptor.so -> libUKeyAdaptor.so.1"
[[ $(depends libukeyadaptor1) =~ libqt6core6|libqt5core5a ]] || problem "libukeyadaptor1 does not depend on Qt Core"
[[ $(depends ukeyadaptor-softtoken) == *libssl3* ]] || problem "ukeyadaptor-softtoken does not depend on libssl3"
[[ $(depends kxf-host) == *"libukeyadaptor1 (= "* ]] || problem "kxf-host does not depend on libukeyadaptor1"
[[ $(depends libukeyadaptor-dev) == *"libukeyadaptor1 (= "* ]] || problem "libukeyadaptor-dev does not depend on libukeyadaptor1"
if [ -n "${seen[ukeyadaptor-pkcs11]:-}" ]; then
  [[ $(dpkg-deb -I build-deb/packages/ukeyadaptor-pkcs11_*.deb conffiles) == /etc/ukeyadaptor/pkcs11.conf ]] ||
    problem "ukeyadaptor-pkcs11 does not keep /etc/ukeyadaptor/pkcs11.conf as a configuration file"
fi

[ $fail -eq 0 ] && echo "Debian packages: OK ($(ls build-deb/packages/*.deb | wc -l) in build-deb/packages)"
exit $fail
