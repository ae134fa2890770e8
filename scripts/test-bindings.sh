#!/usr/bin/env bash
# test-bindings.sh [BUILD]: the C interface's example (plain C99) and the Python package's
# example against the simulated scale on TCP and on a pseudo-terminal, then the Python
# package's tests. BUILD is a build folder with libdriver.so and scalesim (default: build).
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

# The header as a caller includes it: <ponderix/ponderix.h>.
mkdir -p "$work/include/ponderix"
cp "$root/driver/interface/ponderix.h" "$work/include/ponderix/"
gcc -std=c99 -Wall -Wextra -Werror -pedantic -I"$work/include" "$root/examples/c/read-weight.c" \
    -L"$build" -lc -ldriver -Wl,-rpath,"$build" -o "$work/read-weight"

passed=0
failed=0
# run LINE PROTOCOL PROGRAM...: PROGRAM gets the simulated scale's end point as its last argument.
run() {
  local line=$1 protocol=$2 out pid first end
  shift 2
  local args=(--protocol "$protocol" --set weight=1250)
  [ "$line" = tcp ] && args+=(--tcp 0)
  exec {out}< <(exec "$SCALESIM" "${args[@]}")
  pid=$!
  read -r first <&"$out"
  end=$first
  [ "$line" = tcp ] && end=127.0.0.1:$first
  if "$@" "$end" > "$work/output" 2>&1 && [ "$(grep -c ' mg, ' "$work/output")" = 3 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $* $end ($protocol)"; cat "$work/output"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  exec {out}<&-
}
for line in tcp pty; do
  run "$line" POS2MProV1 "$work/read-weight"
  run "$line" CAS-M env PYTHONPATH="$root/python" "$python" "$root/examples/python/read_weight.py"
done
echo "examples: $passed passed, $failed failed"

(cd "$root" && "$python" -m pytest -q -p no:cacheprovider tests/python)
[ "$failed" = 0 ]
