#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each over its committed corpus for
# a short smoke (FUZZ_SECONDS each, default 15). Any crash, leak or sanitizer finding fails.
# Longer local runs: build-fuzz/bin/fuzz_vendor -jobs=1 -max_total_time=600 fuzz/corpus/vendor
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-15}
jobs=$(nproc 2>/dev/null || echo 2)
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B build-fuzz -DUKEY_WERROR=ON -DUKEY_BUILD_FUZZERS=ON -DUKEY_BUILD_TESTS=OFF \
  -DUKEY_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build build-fuzz -j"$jobs" --target fuzz_vendor fuzz_store fuzz_crypto

for target in vendor store crypto; do
  work=$(mktemp -d)
  mkdir -p build-fuzz/artifacts
  # New inputs go to a scratch folder; the committed corpus stays as it is.
  status=0
  build-fuzz/bin/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/artifacts/ "$work" "fuzz/corpus/$target" >"$work.log" 2>&1 || status=$?
  tail -n 40 "$work.log"
  rm -rf "$work" "$work.log"
  [ "$status" -eq 0 ] || { echo "fuzz_$target: finding (exit $status), input in build-fuzz/artifacts" >&2; exit 1; }
done
echo "Fuzz smoke: OK"
