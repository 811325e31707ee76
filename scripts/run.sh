#!/usr/bin/env bash
# Installs what is missing, builds, and runs the updater on the built-in simulated
# Halden: the desktop app where there is a display, otherwise a complete update of the
# sample image from the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --build  # only what the build needs: the tests install the rest
scripts/build.sh build -DHALDEN_TESTS=OFF  # the programs alone: scripts/test.sh builds the rest
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Choose \"Halden Simulator\" in both lists, Connect, then Find image:" \
        "examples/halden-1.5.hfi, and Update."
    exec build/ui/qt/halden-gui --simulate "$@"
fi
exec build/cli/halden update examples/halden-1.5.hfi --simulate "$@"
