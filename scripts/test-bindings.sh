#!/usr/bin/env bash
# test-bindings.sh [BUILD]: the Python package's tests against the simulated scale (the C
# interface's own test program runs under ctest; both examples run against an installed tree in
# test-install.sh). BUILD is a build folder with libdriver.so and scalesim (default: build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
python=/usr/bin/python3
work=$(mktemp -d)
cleanup() {
  local pids
  pids=$(jobs -p)
  [ -z "$pids" ] || kill $pids 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export APPDATA=$work/appdata
export PONDERIX_LIBRARY=$build/libdriver.so
export SCALESIM=$build/scalesim

(cd "$root" && "$python" -m pytest -q -p no:cacheprovider tests/python)
