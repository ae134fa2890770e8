#!/usr/bin/env bash
# fault-runs.sh [--short] [fault-runs arguments...]: builds and runs the fault runs (late replies,
# unplug and come-back, another device behind the name, killed store writers, a long poll). Each prints its figures and a
# PASS/FAIL line; the last line reads "N passed, M failed". --short is the setting of CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FAULT_RUNS_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build" >/dev/null
# Each run keeps its store and log in a folder of its own under the temporary folder.
workdir=$(mktemp -d)
trap 'rm -rf "$workdir"' EXIT
(cd "$workdir" && TMPDIR="$workdir" "$build/fault-runs" "$@")
