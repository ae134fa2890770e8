#!/usr/bin/env bash
# install-deps.sh [demo|all]: installs the Debian packages that are missing, without their
# recommendations.
#   demo  what the library, Benchtap and scalesim need to build (scripts/demo.sh);
#   all   that and what the tests, benchmarks, scale-service, bindings, packaging and fuzzing
#         need (scripts/test.sh; the default).
set -euo pipefail
set_name=${1:-all}

# The library, Benchtap and scalesim.
demo=(cmake g++ make
      libboost-dev libboost-system-dev libboost-filesystem-dev libboost-program-options-dev
      libboost-date-time-dev
      libspdlog-dev libfmt-dev)
# Everything else the full build and scripts/test.sh use.
test=(ccache pkg-config
      libgtest-dev libgmock-dev libbenchmark-dev
      nlohmann-json3-dev  # scale-service
      libsystemd-dev  # scale-service's readiness and watchdog notices (sd_notify)
      clang-14 libclang-rt-14-dev  # the fuzz targets
      gcc python3 python3-pytest
      binutils dpkg-dev file  # debug split, dpkg-shlibdeps and CPack's DEB step
      mono-mcs mono-runtime fp-compiler fp-units-fcl python3-pip  # the bindings' tests (test-bindings.sh)
      help2man lintian man-db  # the packages' manual pages, and Debian's package checker
      chromium)  # the service's page in a headless browser

case "$set_name" in
  demo) packages=("${demo[@]}") ;;
  all) packages=("${demo[@]}" "${test[@]}") ;;
  *) echo "usage: $0 [demo|all]" >&2; exit 2 ;;
esac

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
if [ "$set_name" = all ] && ! command -v promtool >/dev/null 2>&1; then
  echo "Installing promtool from Debian's prometheus package"
  scratch=$(mktemp -d)
  chown _apt "$scratch" 2>/dev/null || true  # apt fetches as its own user
  (cd "$scratch" && apt-get download -qq prometheus >/dev/null) || { apt-get update -qq; (cd "$scratch" && apt-get download -qq prometheus >/dev/null); }
  dpkg-deb --fsys-tarfile "$scratch"/prometheus_*.deb | tar -x -C "$scratch" ./usr/bin/promtool
  install -m 755 "$scratch/usr/bin/promtool" /usr/local/bin/promtool
  rm -rf "$scratch"
fi
