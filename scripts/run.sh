#!/usr/bin/env bash
# Installs what is missing, builds, and updates the built-in simulated Halden with the
# sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
build/cli/halden update examples/halden-1.5.hfi --simulate "$@"
