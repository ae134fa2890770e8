#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config ccache
          libboost-system-dev libboost-filesystem-dev libboost-program-options-dev
          libboost-date-time-dev libboost-dev
          libspdlog-dev libfmt-dev libgtest-dev libgmock-dev libbenchmark-dev
          clang-14 libclang-rt-14-dev
          gcc python3 python3-pytest nlohmann-json3-dev
          binutils dpkg-dev file  # debug split, dpkg-shlibdeps and CPack's DEB step
          libsystemd-dev  # scale-service's readiness and watchdog notices (sd_notify)
          chromium)  # the service's page in a headless browser
packages+=(mono-mcs mono-runtime fp-compiler fp-units-fcl python3-pip)  # the bindings' tests (test-bindings.sh)
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
# promtool lints the service's /metrics. Debian ships it in "prometheus", whose installation would
# also start a Prometheus server: only the one program is taken from the package.
if ! command -v promtool >/dev/null 2>&1; then
  echo "Installing promtool from Debian's prometheus package"
  scratch=$(mktemp -d)
  chown _apt "$scratch" 2>/dev/null || true  # apt fetches as its own user
  (cd "$scratch" && apt-get download -qq prometheus >/dev/null) || { apt-get update -qq; (cd "$scratch" && apt-get download -qq prometheus >/dev/null); }
  dpkg-deb --fsys-tarfile "$scratch"/prometheus_*.deb | tar -x -C "$scratch" ./usr/bin/promtool
  install -m 755 "$scratch/usr/bin/promtool" /usr/local/bin/promtool
  rm -rf "$scratch"
fi
