#!/usr/bin/env bash
# package.sh [build-dir]: builds the Debian packages (libponderix-driver1, libponderix-driver-dev,
# ponderix-tools, ponderix-dbg) from the build folder (default build/) into its packages/ folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
"$root/scripts/install-deps.sh"
# The packages install under /usr, where the library goes to the multiarch folder
# (lib/x86_64-linux-gnu); the build's own install prefix is put back afterwards.
previous=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
restore() {
  if [ -n "$previous" ] && [ "$previous" != /usr ]; then
    cmake -S "$root" -B "$build" -DCMAKE_INSTALL_PREFIX="$previous" >/dev/null
  fi
}
trap restore EXIT
cmake -S "$root" -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB -B "$build/packages" >"$build/cpack.log") || { cat "$build/cpack.log" >&2; exit 1; }
rm -rf "$build/packages/_CPack_Packages"
for deb in "$build"/packages/*.deb; do
  printf '%s  %s KiB  Depends: %s\n' "$(basename "$deb")" "$(( $(stat -c %s "$deb") / 1024 ))" \
    "$(dpkg-deb -f "$deb" Depends)"
done
