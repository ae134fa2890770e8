#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the libFuzzer targets (clang-14, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS (default 60) from its seed
# corpus. A target passes when it ran its time without a crash, leak or time-out. Reproducers of
# failures are kept in build-fuzz/findings/<target>/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
findings=$build/findings
"$root/scripts/install-deps.sh" || exit 1
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPONDERIX_FUZZ=ON \
  -DPONDERIX_BUILD_TESTS=OFF -DPONDERIX_BUILD_BENCHMARKS=OFF -DPONDERIX_INSTALL=OFF >/dev/null || exit 1
cmake --build "$build" --target fuzz-targets -j"${FUZZ_JOBS:-2}" >"$build/fuzz-build.log" 2>&1 || {
  tail -40 "$build/fuzz-build.log"; echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
for seeds in "$root"/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  corpus=$build/corpus/$target  # grows run by run; the seeds in the repository stay as they are
  mkdir -p "$corpus" "$findings/$target"
  log=$build/$target.log
  if (cd "$build" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "./$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$findings/$target/" "$corpus" "$seeds") >"$log" 2>&1; then
    passed=$((passed + 1))
    echo "passed: $target ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs)"
  else
    failed=$((failed + 1))
    echo "FAILED: $target, log $log, reproducer in $findings/$target/"
    grep -m5 -E "ERROR|SUMMARY|property broken" "$log" | sed 's/^/  /'
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
