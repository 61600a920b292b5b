#!/usr/bin/env bash
# 32-bit Windows compile check: every adaptor source through
# i686-w64-mingw32-g++ -fsyntax-only, so that the _WIN32 branches, __stdcall and the
# structure-size static_asserts are checked on a 32-bit target. Qt's headers come from the Linux
# package; nothing is linked or run (README, "32-bit Windows check").
set -euo pipefail
cd "$(dirname "$0")/.."

# The posix thread model: std::mutex and std::thread as the Windows build will have them.
cxx=i686-w64-mingw32-g++-posix
qt=$(dirname "$(find /usr/include -maxdepth 3 -type d -path '*qt6/QtCore' | head -n 1)")
p11=$(dirname "$(find /usr/include -maxdepth 3 -name pkcs11.h -path '*p11-kit*' | head -n 1)")
[ -d "$qt" ] && [ -d "$p11" ] || { echo "ci-mingw.sh: Qt 6 or p11-kit headers not found" >&2; exit 1; }

flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Werror -Iinclude -Isource/UKeyAdaptor
  -I"$qt" -I"$qt/QtCore" -I"$(dirname "$p11")" -DQT_NO_KEYWORDS)
# The target really is 32-bit and KXF_CALL a calling convention of its own there.
printf '%s\n' '#include <type_traits>' '#include "kxf_call.h"' \
  'static_assert(sizeof(void *) == 4, "32-bit target");' \
  'static_assert(!std::is_same_v<void(KXF_CALL *)(), void (*)()>, "KXF_CALL is __stdcall");' |
  "$cxx" "${flags[@]}" -x c++ -

status=0
for src in $(find source/UKeyAdaptor -name '*.cpp' | sort); do
  "$cxx" "${flags[@]}" -DUKEYADAPTOR_BUILD "$src" || { echo "FAILED: $src" >&2; status=1; }
done
[ "$status" -eq 0 ] && echo "32-bit Windows check: OK"
exit "$status"
