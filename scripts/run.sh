#!/usr/bin/env bash
# The main job: installs what is missing, builds, then runs the guided demo of kxf-host through
# the adaptor against the bundled software token (build/lib/libskfsoft.so).
# Extra arguments go to the demo, e.g. scripts/run.sh --pin-env USER_PIN
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh main

jobs=$(nproc 2>/dev/null || echo 2)
# Tests and benchmarks are optional: configuring says which were left out for want of packages.
cmake -S . -B build
# Only what the demo needs: the host, the adaptor it loads and the software token.
cmake --build build -j"$jobs" --target kxf-host UKeyAdaptor skfsoft

token=build/lib/libskfsoft.so
if [ ! -f "$token" ]; then
  echo "run.sh: the software token $token was not built" >&2
  exit 1
fi
exec build/bin/kxf-host --vendor "$token" demo "$@"
