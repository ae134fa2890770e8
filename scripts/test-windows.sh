#!/usr/bin/env bash
# The Windows pass. Cross-builds driver.dll, Benchtap.exe, scale-service.exe and the Windows test
# programs with MinGW-w64, 64-bit and 32-bit (i686), then runs under Wine (the i686 build under
# 32-bit Wine, Debian's wine32 with the i386 architecture added here), against simulated scales
# that run here as Linux processes (over TCP on 127.0.0.1 and over COM ports the Wine prefix maps
# to their pseudo-terminals):
#   - every Windows test program, both builds (one gtest case counts as one test),
#   - driver.dll's export table, both builds,
#   - Benchtap.exe end to end: the demo script over TCP and over a COM port, and a missing driver,
#   - scale-service.exe against a simulated scale over TCP: health and a weight through curl,
#   - the installers (wixl): ponderix-x64.msi installed with msiexec, its Benchtap.exe against a
#     simulated scale, its service registered, started with sc, answering, stopped within the
#     bound, and everything removed again; ponderix-x86.msi with the i686 driver.dll.
# Ends with one line "N passed, M failed" over both architectures (", K skipped" when 32-bit Wine
# could not be installed); the exit status is 0 only when nothing failed.
#
# WINDOWS_BUILD_DIR (default build-windows/) holds the builds, the Boost sources and the Wine
# prefix; LINUX_BUILD_DIR (default build/) the Linux scalesim, built there when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${WINDOWS_BUILD_DIR:-$root/build-windows}
linux_build=${LINUX_BUILD_DIR:-$root/build}
mkdir -p "$out"

# ---- what the pass needs from Debian ----
packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
          wine wine64 wixl msitools
          googletest libboost-dev libspdlog-dev libfmt-dev nlohmann-json3-dev xz-utils curl)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # An index that fails to load (a mirror in the middle of a sync) is no reason to stop here:
  # the install below says whether what it needs was found.
  apt-get update -qq || true
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# 32-bit Wine for the i686 build. Its libraries must match the 64-bit ones of the same names
# version for version; when apt cannot do that without removing or downgrading packages, the
# 32-bit runs are skipped (and said to be), never forced.
# First, whether this machine runs 32-bit x86 programs at all: a kernel without IA32 emulation
# (some sandboxes) refuses them whatever is installed, so apt is not even asked. The probe is the
# smallest i386 program there is: exit(0) through int 0x80. Only a refusal to execute it counts;
# anything else goes on to the install.
wine32_missing=""
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' \
  >"$out/i386-probe"
chmod +x "$out/i386-probe"
probe_status=0
"$out/i386-probe" 2>/dev/null || probe_status=$?
if [ "$probe_status" = 126 ]; then
  wine32_missing="this machine's kernel does not execute 32-bit x86 programs (an i386 probe gives 'Exec format error'), so 32-bit Wine cannot run here"
elif ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  added_i386=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    added_i386=1
    apt-get update -qq || true
  fi
  if ! apt-get install -y -qq --no-install-recommends --no-remove wine32:i386 >"$out/wine32-install.log" 2>&1; then
    wine32_missing="apt could not install wine32:i386 ($(grep -m1 '^E:' "$out/wine32-install.log" || echo "see $out/wine32-install.log"))"
    # Leave apt as it was: an i386 index the mirror serves inconsistently would fail every later
    # apt-get update on this machine.
    if [ -n "$added_i386" ] && ! dpkg -l | grep -q ':i386 '; then
      dpkg --remove-architecture i386 && apt-get update -qq || true
    fi
  fi
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
    apt-get update -qq || true
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
configure "$out/i686" mingw-w64-i686.cmake -DPONDERIX_BUILD_TESTS=ON
cmake --build "$out/i686" -j2
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

# ---- the test programs, both builds ----
skipped_total=0
skip() {  # count, description
  skipped_total=$((skipped_total + $1))
  echo "SKIP  $2"
}
for arch in x86_64 i686; do
  if [ "$arch" = i686 ] && [ -n "$wine32_missing" ]; then
    skip "$(wc -l <"$out/i686/windows-tests.txt")" "the i686 test programs: $wine32_missing"
    continue
  fi
  while read -r program; do
    [ -n "$program" ] || continue
    log=$work/$arch-$program.log
    status=0
    (cd "$out/$arch" && timeout 600 wine "./$program.exe" --gtest_color=no) >"$log" 2>&1 || status=$?
    ran=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
    lost=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
    skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
    ran=${ran:-0} lost=${lost:-0}
    if [ "$status" != 0 ] && [ "$lost" = 0 ]; then lost=1; fi  # crashed, or hung until the time-out
    passed=$((passed + ran))
    failed=$((failed + lost))
    echo "$arch $program: $ran passed, $lost failed${skipped:+, $skipped skipped}"
    if [ "$lost" != 0 ]; then
      grep -E -A8 'Failure' "$log" | head -n 60 || true
      [ "$status" = 0 ] || tail -n 20 "$log"
    fi
    grep '^\[  SKIPPED \] [A-Z]' "$log" | sort -u | sed 's/^/  /' || true
  done <"$out/$arch/windows-tests.txt"
done

# ---- driver.dll's export table: exactly the 25 names of exports.map ----
expected=$(sed -n '/global:/,/local:/p' "$root/driver/interface/exports.map" | tr ' ;' '\n\n' |
           grep -E '^[A-Za-z_]+$' | grep -v global | sort)
# ... beside the C interface's functions, as ponderix.h declares them.
expected_c=$(grep -o 'pdx_[a-z_]*(' "$root/driver/api/ponderix.h" | tr -d '(' | sort -u)
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
demo() {  # folder of Benchtap.exe, description, Benchtap's connection arguments...
  local folder=$1 what=$2
  shift 2
  rm -rf "$results"
  status=0
  (cd "$folder" && timeout 120 wine ./Benchtap.exe "$@" --script 'Z:'"$root/examples/demo.json" \
     --output both) </dev/null >"$work/benchtap.out" 2>&1 || status=$?
  if [ "$status" = 0 ] && ! ls "$results"/benchtap-results-*-POS2MProV1-DMO*.json >/dev/null 2>&1; then status=1; fi
  if [ "$status" = 0 ] && ! grep -q 'GetSerialNumber: *ecase \[Correct\] returns \[ output \[ { SerialNumber : DMO' \
       "$work/benchtap.out"; then status=1; fi
  [ "$status" = 0 ] || tail -n 15 "$work/benchtap.out"
  record $status "Benchtap.exe runs the demo script $what, results file in the data folder"
}
scale benchtap-tcp POS2MProV1 tcp
demo "$out/x86_64" "over TCP" --ip "${end_point%:*}" --port "${end_point##*:}"
scale benchtap-com POS2MProV1 COM6
demo "$out/x86_64" "over COM6" --portname "$end_point"
if [ -n "$wine32_missing" ]; then
  skip 1 "i686 Benchtap.exe: $wine32_missing"
else
  scale benchtap-tcp-32 POS2MProV1 tcp
  demo "$out/i686" "(i686, 32-bit Wine) over TCP" --ip "${end_point%:*}" --port "${end_point##*:}"
fi

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

# ---- the installers (wixl), installed and removed in the Wine prefix ----
msi_x64=$out/ponderix-x64.msi
msi_x86=$out/ponderix-x86.msi
status=0
{ bash "$root/cmake/windows-installer/build-msi.sh" x64 "$out/x86_64" "$msi_x64" &&
  bash "$root/cmake/windows-installer/build-msi.sh" x86 "$out/i686" "$msi_x86"; } >"$work/msi.log" 2>&1 || status=$?
[ "$status" = 0 ] || tail -n 20 "$work/msi.log"
record $status "wixl builds ponderix-x64.msi ($(( $(stat -c %s "$msi_x64" 2>/dev/null || echo 0) / 1024 )) KiB) and ponderix-x86.msi"

# A prefix of their own, new on every pass: a till on which nothing was installed before.
main_prefix=$WINEPREFIX
export WINEPREFIX=$out/wineprefix-msi
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
# Wine starts automatic services whenever its service manager starts, inside its own start-up:
# there scale-service stays "running" without ever listening (Wine's start-up order, not the
# program's: started by sc it serves). One wineserver for the whole section keeps that start-up
# from happening again after the install.
wineserver -k 2>/dev/null || true
wineserver -p
results=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/KORVALT/Trelvane/json-results
installed="$WINEPREFIX/drive_c/Program Files/Ponderix"
settings_folder="$WINEPREFIX/drive_c/ProgramData/Ponderix"
installed_files=(driver.dll Benchtap.exe scale-service.exe include/ponderix.h include/driver-api.hpp examples/demo.json
                 docs/README.md docs/commands.md)
if [ -d "$root/bindings" ]; then
  while read -r file; do installed_files+=("bindings/$file"); done < <(cd "$root/bindings" &&
    find . -type f -not -path '*/.*' -not -path '*/bin/*' -not -path '*/obj/*' | sed 's|^\./||' | head -n 5)
fi
# The till's settings are there before the install, as on a till that was set up before: Wine
# starts automatic services whenever its service manager starts.
scale msi-service POS2MProV1 tcp
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$settings_folder"
printf '{"scale": ["till=tcp:%s"], "listen": "127.0.0.1:%s", "idle-poll-ms": 0}\n' "$end_point" "$port" \
  >"$settings_folder/scale-service.json"
status=0
wine msiexec /i "Z:$msi_x64" /qn >"$work/msiexec.log" 2>&1 || status=$?
for file in "${installed_files[@]}"; do
  [ -f "$installed/$file" ] || { echo "  missing after the install: Program Files\\Ponderix\\$file"; status=1; }
done
record $status "msiexec /i ponderix-x64.msi /qn installs ${#installed_files[@]} checked files under Program Files\\Ponderix"

scale msi-benchtap POS2MProV1 tcp
demo "$installed" "installed by the MSI, over TCP" --ip "${end_point%:*}" --port "${end_point##*:}"

# The service as the MSI registered it. Wine's sc has neither qc nor qfailure: the registration
# is read where the service manager keeps it (its registry key); what Wine keeps of it not at all
# (recovery actions, the Event Log) is checked through the stand-in of the service control calls.
wine sc qc scale-service >"$work/sc-qc.out" 2>&1 || true
if grep -q 'SERVICE_NAME' "$work/sc-qc.out"; then
  registration=$(cat "$work/sc-qc.out")
else
  echo "NOTE  Wine's sc has no qc: the service's registry key stands in for it"
  registration=$(wine reg query 'HKLM\System\CurrentControlSet\Services\scale-service' 2>&1 | tr -d '\r' || true)
fi
status=0
grep -Eq 'AUTO_START|Start +REG_DWORD +0x2' <<<"$registration" && grep -qi 'LocalService' <<<"$registration" &&
  grep -qF 'scale-service.exe" --config "C:\ProgramData\Ponderix\scale-service.json"' <<<"$registration" || status=1
[ "$status" = 0 ] || echo "$registration"
record $status "scale-service registered: automatic start, LocalService, --config C:\ProgramData\Ponderix\scale-service.json"
wine sc qfailure scale-service >"$work/sc-qfailure.out" 2>&1 || true
if grep -q 'RESTART' "$work/sc-qfailure.out"; then
  status=0
  [ "$(grep -c 'RESTART -- Delay = 5000' "$work/sc-qfailure.out")" = 2 ] || status=1
  record $status "sc qfailure scale-service: restart after 5 s on the first two failures"
else
  echo "NOTE  Wine's sc has no qfailure, and Wine's service manager neither keeps recovery actions nor writes an"
  echo "      Event Log: the recovery actions, SERVICE_FAILURE_ACTIONS_FLAG, the states with their wait hints, the"
  echo "      events and the refusal without administrator rights are checked through the stand-in of the"
  echo "      service control calls (test-windows, ServiceHostTest.*, counted above)."
fi

# Started and stopped through the service manager.
wine sc start scale-service >"$work/sc-start.out" 2>&1 || true
status=1
for _ in $(seq 300); do
  grep -q '"weight_mg":1250000' <<<"$(fetch /v1/scales/till/weight)" && { status=0; break; }
  sleep 0.1
done
grep -q '"status":"ok"' <<<"$(fetch /v1/health)" || status=1
if [ "$status" != 0 ]; then
  cat "$work/sc-start.out" "$settings_folder/scale-service.json"
  wine sc query scale-service 2>&1 | tr -d '\r' | grep STATE || true
  echo "weight: $(fetch /v1/scales/till/weight)"
  ss -ltnp 2>/dev/null | grep -i wine || true
fi
record $status "sc start scale-service: the service gives the weight of 1250 g and GET /v1/health answers ok"
started=$(date +%s%N)
wine sc stop scale-service >"$work/sc-stop.out" 2>&1 || true
status=1
for _ in $(seq 150); do
  wine sc query scale-service 2>/dev/null | grep -q STOPPED && { status=0; break; }
  sleep 0.1
done
stop_ms=$(( ($(date +%s%N) - started) / 1000000 ))
[ "$status" = 0 ] && [ "$stop_ms" -le 10000 ] || status=1
[ "$status" = 0 ] || cat "$work/sc-stop.out"
record $status "sc stop scale-service: stopped in $stop_ms ms (bound 10000 ms)"

status=0
wine msiexec /x "Z:$msi_x64" /qn >>"$work/msiexec.log" 2>&1 || status=$?
[ -e "$installed/driver.dll" ] || [ -e "$installed/scale-service.exe" ] && status=1
wine sc query scale-service 2>/dev/null | grep -q 'SERVICE_NAME' && status=1
[ -f "$settings_folder/scale-service.json" ] || status=1
record $status "msiexec /x removes the files and the service, and leaves C:\\ProgramData\\Ponderix\\scale-service.json"

# The 32-bit package: the i686 driver.dll under Program Files (x86).
installed32="$WINEPREFIX/drive_c/Program Files (x86)/Ponderix"
status=0
wine msiexec /i "Z:$msi_x86" /qn >>"$work/msiexec.log" 2>&1 || status=$?
i686-w64-mingw32-objdump -f "$installed32/driver.dll" 2>/dev/null | grep -q 'pei-i386' || status=1
[ -f "$installed32/Benchtap.exe" ] && [ ! -e "$installed32/scale-service.exe" ] || status=1
wine msiexec /x "Z:$msi_x86" /qn >>"$work/msiexec.log" 2>&1 || status=1
[ ! -e "$installed32/driver.dll" ] || status=1
[ "$status" = 0 ] || tail -n 20 "$work/msiexec.log"
record $status "ponderix-x86.msi installs the i686 driver.dll under Program Files (x86)\\Ponderix and removes it"
wineserver -k 2>/dev/null || true
export WINEPREFIX=$main_prefix

if [ "$skipped_total" != 0 ]; then
  echo "$passed passed, $failed failed, $skipped_total skipped"
else
  echo "$passed passed, $failed failed"
fi
[ "$failed" = 0 ]
