#!/usr/bin/env bash
# Installs what is missing, checks that the sources build against Qt 5, then builds with Qt 6
# (warnings as errors) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

jobs=$(nproc 2>/dev/null || echo 2)

qt5_config=$(find /usr/lib /usr/local/lib -path '*cmake/Qt5/Qt5Config.cmake' 2>/dev/null | head -n 1)
cmake -S . -B build-qt5 -DUKEY_WERROR=ON -DUKEY_BUILD_TESTS=OFF -DQT_DIR="$(dirname "$qt5_config")"
cmake --build build-qt5 -j"$jobs"
echo "Qt 5 build: OK"

cmake -S . -B build -DUKEY_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
scripts/ci-packages.sh
scripts/ci-tsan.sh
scripts/ci-sanitizers.sh
scripts/ci-fuzz.sh
scripts/ci-mingw.sh
