#!/usr/bin/env bash
# Installs what is missing, builds the library, Benchtap and scalesim, starts the simulated scale
# on a pseudo-terminal and runs Benchtap with examples/demo.json against it (no operator needed),
# then stops the scale.
#
#   bash scripts/demo.sh                     # the demo script
#   bash scripts/demo.sh examples/interactive.json   # dialogs, key presses, live weight
#
# DEMO_PROTOCOL chooses the simulated scale's protocol (default POS2MProV1); DEMO_OUTPUT the
# report (console, json or both; default both). The results file goes to the driver's usual
# data folder, next to its log. BUILD_DIR chooses the build folder (default build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
script=${1:-$root/examples/demo.json}
protocol=${DEMO_PROTOCOL:-POS2MProV1}
output=${DEMO_OUTPUT:-both}

# Only what the library, Benchtap and scalesim need, and only those three targets: the tests,
# benchmarks and scale-service are scripts/test.sh's. A build folder configured before keeps
# its settings; a new one leaves those parts out, so their packages are not needed, and is
# built without debug information, which costs a third of the compile time.
"$root/scripts/install-deps.sh" demo
configure=()
if [ ! -f "$build/CMakeCache.txt" ]; then
  configure=(-DCMAKE_BUILD_TYPE=Release
             -DPONDERIX_BUILD_TESTS=OFF -DPONDERIX_BUILD_BENCHMARKS=OFF -DPONDERIX_BUILD_SERVICE=OFF)
fi
cmake -S "$root" -B "$build" "${configure[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target demo-targets

work=$(mktemp -d)
simulator=""
cleanup() {
  if [ -n "$simulator" ]; then
    kill "$simulator" 2>/dev/null || true
    wait "$simulator" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The scale: 1.250 kg on the platform, still settling for its first 28 status replies, so the
# weight shows as unstable for a while and the calibration step needs a retry.
"$build/scalesim" --pty --protocol "$protocol" --set weight=1250 --set settle-polls=28 \
  >"$work/scalesim.out" 2>"$work/scalesim.err" &
simulator=$!

port=""
for _ in $(seq 100); do
  port=$(head -n 1 "$work/scalesim.out" 2>/dev/null || true)
  [ -n "$port" ] && break
  if ! kill -0 "$simulator" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "The simulated scale did not start:" >&2
  cat "$work/scalesim.err" >&2
  exit 1
fi
echo "Simulated $protocol scale on $port"
echo

status=0
if [ $# -gt 0 ]; then
  # A script of one's own may talk to the operator: it gets this terminal.
  "$build/Benchtap" --portname "$port" --script "$script" --output "$output" || status=$?
else
  # The demo asks nothing; with standard input closed, a dialog would end at once rather than wait.
  "$build/Benchtap" --portname "$port" --script "$script" --output "$output" </dev/null || status=$?
fi
echo
echo "Benchtap finished with exit status $status"
exit "$status"
