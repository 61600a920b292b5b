#!/usr/bin/env bash
# ThreadSanitizer stage: builds what the threaded test needs with -fsanitize=thread in its own
# build folder and runs it; any report fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${UKEY_TSAN_BUILD_DIR:-build-tsan}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -DUKEY_WERROR=ON -DUKEY_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_C_FLAGS="-fsanitize=thread" -DCMAKE_CXX_FLAGS="-fsanitize=thread" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread"
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target threads_tests

# Each case in its own process, as ctest runs them; a report ends the process with exit code 66.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}"
ctest --test-dir "$dir" --output-on-failure -R '^Vendors/Threads\.'
echo "ThreadSanitizer: OK"
