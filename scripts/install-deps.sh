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
          chromium  # the service's page in a headless browser
          help2man lintian man-db)  # the packages' manual pages, and Debian's package checker
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
