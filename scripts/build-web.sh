#!/usr/bin/env bash
# build-web.sh [OUTDIR]: builds the updater as a web page with emscripten (em++) into
# OUTDIR (default build-web/site): static files that any web server can serve.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build-web/site}")
obj="$(dirname "$out")/obj"
mkdir -p "$out" "$obj/generated"
# emscripten's JS optimizer loads Debian's acorn; another node first on the PATH does not
# look there.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

version=$(sed -n 's/^project(halden VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
sed "s/@PROJECT_VERSION@/$version/" "$root/cmake/version.h.in" > "$obj/generated/halden_version.h.new"
cmp -s "$obj/generated/halden_version.h.new" "$obj/generated/halden_version.h" ||
    mv "$obj/generated/halden_version.h.new" "$obj/generated/halden_version.h"

sources=(
    engine/device.cpp engine/estimate.cpp engine/image.cpp engine/protocol.cpp
    engine/receiver.cpp engine/status.cpp engine/update.cpp
    app/app_ports.cpp app/boxes.cpp app/engine_failure.cpp app/files_posix.cpp
    app/history.cpp app/image_file.cpp app/main_window.cpp app/port_lock.cpp
    app/port_lock_posix.cpp app/port_settings.cpp
    sim/halden_sim.cpp sim/real_scheduler.cpp sim/simulator_ports.cpp sim/sim_options.cpp
    transport/webmidi/webmidi_ports.cpp
    ui/web/web_main.cpp ui/web/web_sim_options.cpp
)
# CLI11 (header-only) reads the simulator's options; only its folder of the system's
# headers is shown to em++, which has its own C library.
mkdir -p "$obj/include"
ln -sfn "${CLI11_INCLUDE:-/usr/include}/CLI" "$obj/include/CLI"
flags=(-std=c++20 -O2 -Wall -Wextra -Werror -I"$root" -I"$obj/generated" -isystem "$obj/include")
# CLI11 tells what it does not understand by throwing: the files that parse with it catch
# exceptions (elsewhere try/catch stays inert, and no wait suspends through a handler).
catching="sim/sim_options.cpp ui/web/web_sim_options.cpp"
# Each file is compiled again only when it, or a header it reads, changed.
compile() {
    local src=$1 o="$obj/${1//\//_}.o"
    if [ -f "$o" ] && [ -f "$o.d" ] && ! find $(sed -e 's/^[^:]*://' -e 's/\\$//' "$o.d") \
        -newer "$o" 2>/dev/null | grep -q .; then
        return
    fi
    local extra=""
    case " $catching " in *" $src "*) extra=-fexceptions ;; esac
    em++ "${flags[@]}" $extra -MMD -MF "$o.d" -c "$root/$src" -o "$o"
}
export -f compile
export root obj catching
export flags_text="${flags[*]}"
for s in "${sources[@]}"; do echo "$s"; done |
    xargs -P 2 -I{} bash -c 'flags=($flags_text); compile {}'

objects=()
for s in "${sources[@]}"; do objects+=("$obj/${s//\//_}.o"); done
# ASYNCIFY: the engine's waits suspend the wasm and await a promise. Its own stack
# holds the suspended calls, from a command down to the wait.
newer=$(find "${objects[@]}" -newer "$out/halden.wasm" 2>/dev/null || echo all)
[ -z "$newer" ] || em++ "${objects[@]}" -O2 -fexceptions -o "$out/halden.js" \
    -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 \
    -sMODULARIZE -sEXPORT_NAME=HaldenModule -sENVIRONMENT=web,node \
    -sALLOW_MEMORY_GROWTH \
    -sEXPORTED_FUNCTIONS=_malloc,_free,_web_start,_web_command,_web_close,_web_ports_changed,_web_cancel,_web_midi_input,_web_port_failed,_web_run_scheduled \
    -sEXPORTED_RUNTIME_METHODS=ccall,FS,HEAPU8,lengthBytesUTF8,stringToUTF8

cp "$root/ui/web/index.html" "$root/ui/web/app.js" "$root/ui/web/style.css" \
    "$root/ui/web/manifest.webmanifest" "$root/ui/web/icon.svg" "$root/transport/webmidi/webmidi.js" "$out/"
# A new cache for every build: the files' checksum names it.
stamp=$(cat "$out"/*.js "$out"/*.wasm "$out"/*.html "$out"/*.css | md5sum | cut -c1-12)
sed "s/@BUILD@/$stamp/" "$root/ui/web/sw.js" > "$out/sw.js"
echo "$out"
