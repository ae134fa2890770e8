#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: a plain build with the service's figures
# and the bindings, the install and package checks, the short fault runs and the fuzz smoke, then
# one under AddressSanitizer and UndefinedBehaviorSanitizer, then the Windows pass under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" all
# Everything on, also in a build folder the demo configured first with its three targets only.
"$root/scripts/build.sh" "$root/build" -DPONDERIX_BUILD_TESTS=ON -DPONDERIX_BUILD_BENCHMARKS=ON \
  -DPONDERIX_BUILD_SERVICE=ON
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)" --timeout 300)
# scale-service's figures, a short run: its cost per weight request beside the library call, the
# stream latency, memory and descriptors over requests and stream connects (--full: the long run).
# A failed request, stream or change stops the run; a missed figure on a busy machine is reported.
status=0
"$root/build/service-figures" || status=$?
if [ "$status" = 1 ]; then
  echo "service-figures: a figure missed its target on this run; the long run (--full) is the measurement"
elif [ "$status" != 0 ]; then
  exit "$status"
fi
"$root/scripts/test-bindings.sh" "$root/build"
# Install, subproject, pkg-config, Debian packages and the consumer example, from the plain build.
if [ "${SKIP_INSTALL:-0}" != 1 ]; then
  "$root/scripts/test-install.sh" "$root/build"
fi
# Short fault runs, and every fuzz target for a short while (FUZZ_SECONDS each, 20 by default).
"$root/scripts/fault-runs.sh" --short
if [ "${SKIP_FUZZ:-0}" != 1 ]; then
  "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-20}"
fi
if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
  "$root/scripts/build.sh" "$root/build-sanitize" -DPONDERIX_SANITIZE=ON
  (cd "$root/build-sanitize" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     ctest --output-on-failure -j"$(nproc)" --timeout 300)
fi
if [ "${SKIP_WINDOWS:-0}" != 1 ]; then
  "$root/scripts/test-windows.sh"
fi
