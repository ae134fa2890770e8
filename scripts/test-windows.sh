#!/usr/bin/env bash
# The Windows pass. Cross-builds driver.dll, Benchtap.exe, scale-service.exe and the Windows test
# programs with MinGW-w64 (64-bit; the 32-bit driver.dll is built and linked as well), then runs
# under Wine, against simulated scales that run here as Linux processes (over TCP on 127.0.0.1
# and over COM ports the Wine prefix maps to their pseudo-terminals):
#   - every Windows test program (one gtest case counts as one test),
#   - driver.dll's export table, both builds,
#   - Benchtap.exe end to end: the demo script over TCP and over a COM port, and a missing driver,
#   - scale-service.exe against a simulated scale over TCP: health and a weight through curl.
# Ends with one line "N passed, M failed"; the exit status is 0 only when nothing failed.
#
# WINDOWS_BUILD_DIR (default build-windows/) holds the builds, the Boost sources and the Wine
# prefix; LINUX_BUILD_DIR (default build/) the Linux scalesim, built there when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${WINDOWS_BUILD_DIR:-$root/build-windows}
linux_build=${LINUX_BUILD_DIR:-$root/build}
mkdir -p "$out"

# ---- what the pass needs from Debian ----
packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 wine wine64
          googletest libboost-dev libspdlog-dev libfmt-dev nlohmann-json3-dev xz-utils curl)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Boost's Program Options and Filesystem, compiled for Windows from Debian's boost1.74 source
# package (only their sources are unpacked; the headers are the installed ones of the same version).
boost_src=$out/boost-source
unpacked() { find "$boost_src" -maxdepth 4 -type d -path '*/libs/filesystem/src' 2>/dev/null | head -n 1; }
if [ -z "$(unpacked)" ]; then
  if ! grep -rqsE '^(Types: *deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "Adding Debian's source packages to apt (for boost1.74's sources)"
    cat >/etc/apt/sources.list.d/debian-src.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq
  fi
  mkdir -p "$boost_src"
  (cd "$boost_src" && apt-get source -qq --download-only boost1.74 2>/dev/null)
  tar -xJf "$boost_src"/boost1.74_*.orig.tar.xz -C "$boost_src" --wildcards \
    '*/libs/program_options/src/*' '*/libs/filesystem/src/*'
fi
boost_root=$(unpacked)
boost_root=${boost_root%/libs/filesystem/src}

# ---- builds ----
configure() {  # folder, toolchain, extra arguments
  local folder=$1 toolchain=$2
  shift 2
  cmake -S "$root" -B "$folder" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DPONDERIX_BOOST_SOURCE_DIR="$boost_root" -DPONDERIX_BUILD_BENCHMARKS=OFF -DPONDERIX_INSTALL=OFF "$@" >/dev/null
}
configure "$out/x86_64" mingw-w64-x86_64.cmake -DPONDERIX_BUILD_TESTS=ON
cmake --build "$out/x86_64" -j2
configure "$out/i686" mingw-w64-i686.cmake -DPONDERIX_BUILD_TESTS=OFF
cmake --build "$out/i686" -j2 --target driver
if [ ! -x "$linux_build/scalesim" ]; then
  cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$linux_build" -j2 --target scalesim
fi

# ---- Wine: a private prefix, no display, no Gecko or Mono prompts ----
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
fi
roaming=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming

work=$(mktemp -d)
simulators=()
cleanup() {
  for pid in "${simulators[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${simulators[@]}"; do wait "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulated scale holding 1250 g and sets end_point to its address as Windows names it. A
# pseudo-terminal is reached through COMn: the prefix's dosdevices/comn link follows the slave.
scale() {  # name, protocol, tcp | COMn
  local name=$1 protocol=$2 line=$3 args
  if [ "$line" = tcp ]; then
    args=(--tcp 0)
  else
    args=(--pty --link "$WINEPREFIX/dosdevices/${line,,}")
  fi
  "$linux_build/scalesim" "${args[@]}" --protocol "$protocol" --set weight=1250 \
    >"$work/$name.out" 2>"$work/$name.err" &
  simulators+=($!)
  local first=""
  for _ in $(seq 100); do
    first=$(head -n 1 "$work/$name.out" 2>/dev/null || true)
    [ -n "$first" ] && break
    sleep 0.1
  done
  [ -n "$first" ] || { echo "scalesim $protocol did not start: $(cat "$work/$name.err")" >&2; exit 1; }
  if [ "$line" = tcp ]; then end_point=127.0.0.1:$first; else end_point=$line; fi
}

scales=""
for protocol in POS2M POS2MProV1 CAS-M "CAS-M ProV1" CAS-M-Active OKA; do
  scale "live-${protocol// /-}" "$protocol" tcp
  scales+="$protocol=$end_point;"
done
scale live-com POS2MProV1 COM5
scales+="POS2MProV1=$end_point"
export PONDERIX_SCALES=$scales

passed=0
failed=0
record() {  # status, description
  if [ "$1" = 0 ]; then
    passed=$((passed + 1))
    echo "PASS  $2"
  else
    failed=$((failed + 1))
    echo "FAIL  $2"
  fi
}

# ---- the test programs ----
while read -r program; do
  [ -n "$program" ] || continue
  log=$work/$program.log
  status=0
  (cd "$out/x86_64" && timeout 600 wine "./$program.exe" --gtest_color=no) >"$log" 2>&1 || status=$?
  ran=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
  lost=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
  ran=${ran:-0} lost=${lost:-0}
  if [ "$status" != 0 ] && [ "$lost" = 0 ]; then lost=1; fi  # crashed, or hung until the time-out
  passed=$((passed + ran))
  failed=$((failed + lost))
  echo "$program: $ran passed, $lost failed${skipped:+, $skipped skipped}"
  if [ "$lost" != 0 ]; then
    grep -E -A8 'Failure' "$log" | head -n 60 || true
    [ "$status" = 0 ] || tail -n 20 "$log"
  fi
  grep '^\[  SKIPPED \] [A-Z]' "$log" | sort -u | sed 's/^/  /' || true
done <"$out/x86_64/windows-tests.txt"

# ---- driver.dll's export table: exactly the 25 names of exports.map ----
expected=$(sed -n '/global:/,/local:/p' "$root/driver/interface/exports.map" | tr ' ;' '\n\n' |
           grep -E '^[A-Za-z_]+$' | grep -v global | sort)
# ... beside the C interface's functions, as ponderix.h declares them.
expected_c=$(grep -o 'pdx_[a-z_]*(' "$root/driver/interface/ponderix.h" | tr -d '(' | sort -u)
for arch in x86_64 i686; do
  exported=$("$arch-w64-mingw32-objdump" -p "$out/$arch/driver.dll" |
             sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
  [ "$(grep -v '^pdx_' <<<"$exported")" = "$expected" ] && status=0 || status=1
  record $status "$arch driver.dll exports exactly the 25 functions under their plain names"
  [ "$(grep '^pdx_' <<<"$exported")" = "$expected_c" ] && status=0 || status=1
  record $status "$arch driver.dll exports the C interface's functions under their plain names"
done

# ---- Benchtap.exe end to end ----
results=$roaming/KORVALT/Trelvane/json-results
demo() {  # description, Benchtap's connection arguments...
  local what=$1
  shift
  rm -rf "$results"
  status=0
  (cd "$out/x86_64" && timeout 120 wine ./Benchtap.exe "$@" --script 'Z:'"$root/examples/demo.json" \
     --output both) </dev/null >"$work/benchtap.out" 2>&1 || status=$?
  if [ "$status" = 0 ] && ! ls "$results"/benchtap-results-*-POS2MProV1-DMO*.json >/dev/null 2>&1; then status=1; fi
  if [ "$status" = 0 ] && ! grep -q 'GetSerialNumber: *ecase \[Correct\] returns \[ output \[ { SerialNumber : DMO' \
       "$work/benchtap.out"; then status=1; fi
  [ "$status" = 0 ] || tail -n 15 "$work/benchtap.out"
  record $status "Benchtap.exe runs the demo script $what, results file in the data folder"
}
scale benchtap-tcp POS2MProV1 tcp
demo "over TCP" --ip "${end_point%:*}" --port "${end_point##*:}"
scale benchtap-com POS2MProV1 COM6
demo "over COM6" --portname "$end_point"

# Alone in a folder, Benchtap.exe finds no driver.dll and says so with the system's text at hand.
mkdir -p "$work/alone"
cp "$out/x86_64/Benchtap.exe" "$work/alone/"
status=0
(cd "$work/alone" && wine ./Benchtap.exe --ip 127.0.0.1 --script x.json) >"$work/alone.out" 2>&1 || status=$?
[ "$status" = 1 ] && grep -q "Can't find library by path { driver.dll }" "$work/alone.out" && status=0 || status=1
record $status "Benchtap.exe without driver.dll ends with status 1 and the load failure's text"

# ---- scale-service.exe against a simulated scale over TCP: it starts and answers ----
scale service-tcp POS2MProV1 tcp
(cd "$out/x86_64" && exec timeout 120 wine ./scale-service.exe --scale "till=tcp:$end_point" \
   --listen 127.0.0.1:0 --idle-poll-ms 0) </dev/null >"$work/service.out" 2>"$work/service.err" &
service=$!
port=""
for _ in $(seq 300); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/service.out" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.1
done
fetch() { curl -s --noproxy '*' --max-time 20 "http://127.0.0.1:$port$1" || true; }
status=1
[ -n "$port" ] && grep -q '"weight_mg":1250000' <<<"$(fetch /v1/scales/till/weight)" && status=0
[ "$status" = 0 ] || { cat "$work/service.out" "$work/service.err" | tail -n 10; }
record $status "scale-service.exe starts against a simulated scale over TCP: GET /v1/scales/till/weight gives 1250 g"
# Healthy once the scale has answered (the weight above).
status=1
[ -n "$port" ] && grep -q '"status":"ok"' <<<"$(fetch /v1/health)" && status=0
record $status "scale-service.exe: GET /v1/health answers ok"
kill "$service" 2>/dev/null || true
wait "$service" 2>/dev/null || true

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
