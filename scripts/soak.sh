#!/usr/bin/env bash
# soak.sh [CYCLES]: builds, then runs the command line's session and the desktop app
# (offscreen) each through CYCLES (default 200) Connect and Update cycles in one process,
# on the built-in simulator with no link time: good updates, Cancel and a device fault in
# turn. Prints resident memory and threads after the first cycles and at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
cycles=${1:-200}
scripts/build.sh build >/dev/null
build/bench/halden_soak_cli "$cycles" 2>/dev/null
build/bench/halden_soak_qt "$cycles" 2>/dev/null
