#!/usr/bin/env bash
# test-bindings.sh [BUILD]: the language bindings against the simulated scale: the Python
# package's tests, the C# binding (built with mcs, run with mono) and the Pascal unit (Free Pascal
# in Delphi mode), each with its test program and its example. The C interface's own test program
# runs under ctest; the Python and C examples run against an installed tree in test-install.sh.
# BUILD is a build folder with libdriver.so.1 and scalesim (default: build).
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

for tool in mcs mono fpc; do
  command -v "$tool" >/dev/null || { echo "test-bindings: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

# A simulated scale for the examples (stopped by cleanup): its port is the first line it prints.
start_scale() {
  "$SCALESIM" --tcp 0 --protocol POS2M --set weight=1250 >"$work/port" &
  for _ in $(seq 100); do
    port=$(head -n 1 "$work/port")
    [ -z "$port" ] || return 0
    sleep 0.05
  done
  echo "test-bindings: scalesim did not start" >&2
  exit 1
}
# The example's output must hold `expected`.
expect_output() {
  local expected=$1; shift
  local output
  output=$("$@" 2>&1) || true
  if ! grep -qF -- "$expected" <<<"$output"; then
    echo "test-bindings: '$*' printed no '$expected':" >&2
    echo "$output" >&2
    exit 1
  fi
}

echo "== C# (mono)"
dotnet_dir=$root/bindings/dotnet
mcs -nologo -warnaserror -target:library -out:"$work/Ponderix.dll" "$dotnet_dir/Ponderix.cs"
mcs -nologo -warnaserror -r:"$work/Ponderix.dll" -out:"$work/PonderixTest.exe" "$dotnet_dir/tests/PonderixTest.cs"
mcs -nologo -warnaserror -r:"$work/Ponderix.dll" -out:"$work/ReadWeight.exe" "$dotnet_dir/example/ReadWeight.cs"
# Found as a user's program finds it: libdriver.so.1 by the system's search.
env -u PONDERIX_LIBRARY LD_LIBRARY_PATH="$build" mono "$work/PonderixTest.exe"
start_scale
expect_output "1250 g (1250000 mg)" env -u PONDERIX_LIBRARY LD_LIBRARY_PATH="$build" mono "$work/ReadWeight.exe" 127.0.0.1 "$port"
if ! /sbin/ldconfig -p | grep -q 'libdriver\.so\.1 '; then  # not installed system-wide: the error names the file
  expect_output "libdriver.so.1 was not found" env -u PONDERIX_LIBRARY -u LD_LIBRARY_PATH mono "$work/ReadWeight.exe" 127.0.0.1 "$port"
fi

echo "== Pascal (fpc -Mdelphi)"
pascal_dir=$root/bindings/pascal
mkdir -p "$work/pascal"
fpc_build() {
  fpc -Mdelphi -Sew -vw -l- -FU"$work/pascal" -Fu"$pascal_dir" -o"$work/pascal/$1" "$2" >"$work/fpc.log" ||
    { cat "$work/fpc.log" >&2; exit 1; }
}
fpc_build PonderixTest "$pascal_dir/tests/PonderixTest.pas"
fpc_build ReadWeight "$pascal_dir/example/ReadWeight.dpr"
"$work/pascal/PonderixTest"
expect_output "1250 g (1250000 mg)" "$work/pascal/ReadWeight" 127.0.0.1 "$port"
expect_output "$work/none/libdriver.so.1" env PONDERIX_LIBRARY="$work/none/libdriver.so.1" "$work/pascal/ReadWeight" 127.0.0.1 "$port"
echo "test-bindings: all passed"
