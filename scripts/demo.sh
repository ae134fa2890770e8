#!/usr/bin/env bash
# Installs what is missing, builds, and shows the driver at work.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
"$root/build/driver-version"
