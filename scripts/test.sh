#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: a plain build, then one under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the Windows pass under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)" --timeout 300)
if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
  "$root/scripts/build.sh" "$root/build-sanitize" -DDRIVER_SANITIZE=ON
  (cd "$root/build-sanitize" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     ctest --output-on-failure -j"$(nproc)" --timeout 300)
fi
if [ "${SKIP_WINDOWS:-0}" != 1 ]; then
  "$root/scripts/test-windows.sh"
fi
