#!/usr/bin/env bash
# test-install.sh [build-dir]: what an integrator does with a built tree (default build/).
#  1. docs/commands.md, docs/result-codes.md and docs/simulator.md are what the programs print;
#  2. `cmake --install` into a temporary prefix: SONAME, no debug sections, pkg-config;
#  3. examples/consumer built against that prefix, run against scalesim on a pseudo-terminal and TCP;
#  4. the Debian packages (scripts/package.sh) unpacked into a scratch root, and 3. against them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
simulator=""
stop_simulator() {
  if [ -n "$simulator" ]; then
    kill "$simulator" 2>/dev/null || true
    wait "$simulator" 2>/dev/null || true
    simulator=""
  fi
}
trap 'stop_simulator; rm -rf "$work"' EXIT

fail() { echo "test-install: $*" >&2; exit 1; }

echo "== reference pages"
check_page() {  # page, command...
  local page=$1; shift
  if ! "$@" | diff -u "$root/docs/$page" - >"$work/page.diff"; then
    cat "$work/page.diff" >&2
    fail "docs/$page differs from what \`${*#$build/}\` prints; write it anew: $* > docs/$page"
  fi
}
check_page commands.md "$build/ponderix-reference" commands
check_page result-codes.md "$build/ponderix-reference" result-codes
simulator_page() {
  printf '# scalesim options\n\nPrinted by `scalesim --help`; do not edit.\n\n```\n'
  "$build/scalesim" --help
  printf '```\n'
}
check_page simulator.md simulator_page

# Starts scalesim with the given options; its first output line (slave path or port) in $line.
start_simulator() {
  "$1/scalesim" "${@:2}" >"$work/scalesim.out" 2>"$work/scalesim.err" &
  simulator=$!
  line=""
  for _ in $(seq 100); do
    line=$(head -n 1 "$work/scalesim.out" 2>/dev/null || true)
    [ -n "$line" ] && return 0
    kill -0 "$simulator" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/scalesim.err" >&2
  fail "scalesim did not start"
}

# Builds examples/consumer against the installation under $1 (the CMake package found by
# CMAKE_PREFIX_PATH) and runs it against that installation's scalesim.
consumer_against() {
  local prefix=$1 name=$2
  cmake -S "$root/examples/consumer" -B "$work/consumer-$name" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release >"$work/consumer-$name.log" || { cat "$work/consumer-$name.log"; fail "configure"; }
  cmake --build "$work/consumer-$name" >>"$work/consumer-$name.log" || { cat "$work/consumer-$name.log"; fail "build"; }
  local consumer="$work/consumer-$name/ponderix-consumer" out="$work/consumer-$name.out"
  mkdir -p "$work/appdata-$name"

  start_simulator "$prefix/bin" --pty --protocol POS2MProV1 --set weight=1250
  APPDATA="$work/appdata-$name" "$consumer" "Serial Port" "$line" >"$out" || { cat "$out"; fail "consumer on $line"; }
  stop_simulator
  grep -q "^protocol POS2MProV1$" "$out" && [ "$(grep -c '^weight 1250 gr state 1' "$out")" = 3 ] ||
    { cat "$out"; fail "$name: unexpected readings on the pseudo-terminal"; }

  start_simulator "$prefix/bin" --tcp 0 --protocol OKA --set weight=2500
  APPDATA="$work/appdata-$name" "$consumer" TCP "127.0.0.1:$line" OKA >"$out" || { cat "$out"; fail "consumer on TCP"; }
  stop_simulator
  [ "$(grep -c '^weight 2.500 kg state 0x00' "$out")" = 3 ] || { cat "$out"; fail "$name: unexpected readings on TCP"; }
  echo "consumer against $name: pseudo-terminal and TCP readings as expected"

  # The C interface's example (plain C99, through pkg-config) and the Python package's example,
  # which finds the library in the installed place by itself.
  local libdir pcdir
  pcdir=$(dirname "$(find "$prefix" -name ponderix-driver.pc | head -n 1)")
  libdir=$(dirname "$pcdir")
  # shellcheck disable=SC2046
  gcc -std=c99 -Wall -Wextra -Werror -pedantic "$root/examples/c/read-weight.c" -o "$work/read-weight-$name" \
      $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs ponderix-driver) -Wl,-rpath,"$libdir" ||
    fail "$name: the C example does not build"
  local kind
  for kind in pty tcp; do
    if [ "$kind" = pty ]; then
      start_simulator "$prefix/bin" --pty --protocol CAS-M --set weight=1.25; end="$line"
    else
      start_simulator "$prefix/bin" --tcp 0 --protocol POS2MProV1 --set weight=1250; end="127.0.0.1:$line"
    fi
    APPDATA="$work/appdata-$name" "$work/read-weight-$name" "$end" >"$out" 2>&1 || { cat "$out"; fail "$name: C example on $kind"; }
    [ "$(grep -c ' mg, stable$' "$out")" = 3 ] || { cat "$out"; fail "$name: C example readings on $kind"; }
    APPDATA="$work/appdata-$name" PYTHONPATH="$prefix/lib/python3/dist-packages" /usr/bin/python3 \
        "$prefix/share/doc/ponderix/examples/python/read_weight.py" "$end" >"$out" 2>&1 ||
      { cat "$out"; fail "$name: Python example on $kind"; }
    [ "$(grep -c ' mg, stable$' "$out")" = 3 ] || { cat "$out"; fail "$name: Python example readings on $kind"; }
    stop_simulator
  done
  echo "C and Python examples against $name: pseudo-terminal and TCP readings as expected"
}

# No debug sections in the installed binaries (they went to lib/debug/.build-id).
check_stripped() {
  local file
  for file in "$@"; do
    [ -f "$file" ] || fail "missing $file"
    if readelf -S -W "$file" | grep -q ' \.debug_'; then fail "$file carries debug sections"; fi
  done
}

echo "== as a subproject"
mkdir -p "$work/parent"
cat >"$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory("$root" ponderix)
add_executable(uses-ponderix "$root/examples/consumer/consumer.cpp")
set_target_properties(uses-ponderix PROPERTIES CXX_STANDARD 17)
target_include_directories(uses-ponderix PRIVATE \$<TARGET_PROPERTY:Ponderix::driver,INTERFACE_INCLUDE_DIRECTORIES>)
target_compile_definitions(uses-ponderix PRIVATE PONDERIX_DRIVER_LIBRARY="\$<TARGET_SONAME_FILE:Ponderix::driver>")
target_link_libraries(uses-ponderix PRIVATE \${CMAKE_DL_LIBS})
CMAKE
cmake -S "$work/parent" -B "$work/parent/build" >"$work/parent.log" 2>&1 || { cat "$work/parent.log"; fail "subproject configure"; }
cmake --build "$work/parent/build" --target uses-ponderix >>"$work/parent.log" 2>&1 || { cat "$work/parent.log"; fail "subproject build"; }
if cmake --build "$work/parent/build" --target help | grep -Eq 'test-|bench-'; then fail "tests or benchmarks built in a subproject"; fi

echo "== cmake --install into a temporary prefix"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
library=$(readlink -f "$prefix/$libdir/libdriver.so")
readelf -d "$library" | grep -q 'SONAME.*\[libdriver\.so\.1\]' || fail "no SONAME libdriver.so.1"
[ "$(readlink "$prefix/$libdir/libdriver.so.1")" = "$(basename "$library")" ] || fail "libdriver.so.1 link"
check_stripped "$library" "$prefix/bin/Benchtap" "$prefix/bin/scalesim" "$prefix/bin/scale-service"
ls "$prefix"/lib/debug/.build-id/*/*.debug >/dev/null || fail "no debug files"
for file in include/ponderix/driver-types.hpp include/ponderix/driver-api.hpp include/ponderix/ponderix.h \
            lib/python3/dist-packages/ponderix/__init__.py "$libdir/cmake/Ponderix/PonderixConfig.cmake" \
            "$libdir/cmake/Ponderix/PonderixConfigVersion.cmake" share/doc/ponderix/README.md \
            share/doc/ponderix/examples/demo.json share/doc/ponderix/reference/commands.md \
            lib/systemd/system/scale-service.service etc/scale-service.json \
            share/ponderix/bindings/dotnet/Ponderix.cs share/ponderix/bindings/pascal/Ponderix.pas; do
  [ -e "$prefix/$file" ] || fail "missing $file"
done
echo "installed $(basename "$library"): $(( $(stat -c %s "$library") / 1024 )) KiB"

flags=$(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs ponderix-driver)
echo "pkg-config --cflags --libs ponderix-driver: $flags"
# shellcheck disable=SC2086
g++ -std=c++17 -fsyntax-only $flags -DPONDERIX_DRIVER_LIBRARY='""' "$root/examples/consumer/consumer.cpp"
# The Benchtap of the prefix finds the prefix's library (its banner names the library's version).
mkdir -p "$work/appdata-benchtap"
APPDATA="$work/appdata-benchtap" "$prefix/bin/Benchtap" --help >"$work/benchtap.out" 2>&1 || true
grep -q "^Driver Current Version: " "$work/benchtap.out" || { cat "$work/benchtap.out"; fail "installed Benchtap"; }
# The installed service finds the prefix's library too, and reads the sample settings (which
# name no scale yet).
"$prefix/bin/scale-service" --help | grep -q "^Usage: scale-service" || fail "installed scale-service"
status=0
"$prefix/bin/scale-service" --config "$prefix/etc/scale-service.json" 2>"$work/service.err" || status=$?
[ "$status" = 2 ] && grep -q "no --scale given" "$work/service.err" || { cat "$work/service.err"; fail "sample settings"; }
consumer_against "$prefix" prefix

echo "== Debian packages, unpacked into a scratch root"
bash "$root/scripts/package.sh" "$build"
scratch="$work/root"
for deb in "$build"/packages/*.deb; do dpkg-deb -x "$deb" "$scratch"; done
check_stripped "$scratch"/usr/lib/*/libdriver.so.1.* "$scratch/usr/bin/Benchtap" "$scratch/usr/bin/scalesim" \
  "$scratch/usr/bin/scale-service"
[ -f "$scratch/usr/share/ponderix/bindings/dotnet/Ponderix.cs" ] || fail "no C# binding in the packages"
# The unit (installed, not enabled) and its settings, a configuration file of the package.
unit="$scratch/usr/lib/systemd/system/scale-service.service"
[ -f "$unit" ] || fail "no scale-service unit in the packages"
[ -f "$scratch/etc/scale-service.json" ] || fail "no /etc/scale-service.json in the packages"
dpkg-deb -I "$build"/packages/ponderix-tools_*.deb conffiles | grep -qx /etc/scale-service.json ||
  fail "/etc/scale-service.json is not a configuration file of ponderix-tools"
if dpkg-deb -I "$build"/packages/ponderix-tools_*.deb postinst 2>/dev/null | grep -q enable; then
  fail "the package enables scale-service"
fi
grep -q "^ExecStart=/usr/bin/scale-service --config /etc/scale-service.json$" "$unit" || fail "unit's ExecStart"
# The sandbox: systemd's own rating of the unit, 0 (closed) to 10 (exposed), at most 2.0.
exposure=$(systemd-analyze security --offline=true "$unit" 2>&1 | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
[ -n "$exposure" ] || { systemd-analyze security --offline=true "$unit" >&2 || true; fail "no exposure rating"; }
echo "systemd-analyze security: exposure $exposure"
awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' || fail "the unit's exposure $exposure is above 2.0"
consumer_against "$scratch/usr" packages

echo "== lintian and the manual pages"
# Debian's package checker on every package: no error and no warning (overrides, each with its
# reason, ship in the packages under usr/share/lintian/overrides).
status=0
lintian --fail-on error,warning "$build"/packages/*.deb >"$work/lintian.out" 2>&1 ||
  status=$?
grep -v 'running with root privileges' "$work/lintian.out" | sed 's/^/  /' || true
[ "$status" = 0 ] || fail "lintian reports errors or warnings"
echo "lintian: $(ls "$build"/packages/*.deb | wc -l) packages without errors or warnings"
# A manual page for each program, written from its --help, which man can show.
for tool in Benchtap scalesim scale-service; do
  page="$scratch/usr/share/man/man1/$tool.1.gz"
  [ -f "$page" ] || fail "no manual page for $tool"
  zcat "$page" | grep -Eqi '^\.TH "?'"$tool"'"? "?1"? ' || fail "$tool.1 is no section 1 page of $tool"
  MANWIDTH=80 man -l "$page" >"$work/page.txt" 2>/dev/null || fail "man cannot show $tool.1"
  grep -q "^NAME" "$work/page.txt" && grep -Eq -- '^ +-' "$work/page.txt" || fail "$tool.1 does not list $tool's options"
done
echo "manual pages: Benchtap.1, scalesim.1, scale-service.1"
