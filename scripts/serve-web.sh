#!/usr/bin/env bash
# serve-web.sh [DIR] [PORT]: serves the page that build-web.sh made (default
# build-web/site) on 127.0.0.1, which browsers count as a secure context: Web MIDI works
# there without https. Add ?simulate to the address for the in-page simulated Halden.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-web/site}
port=${2:-8080}
[ -f "$dir/halden.wasm" ] || { echo "No page in $dir: run scripts/build-web.sh first" >&2; exit 1; }
echo "Serving $dir at http://127.0.0.1:$port/ (the simulator: http://127.0.0.1:$port/?simulate)"
cd "$dir"
exec python3 -m http.server --bind 127.0.0.1 "$port"
