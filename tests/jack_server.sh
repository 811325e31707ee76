# shellcheck shell=bash
# Sourced by the end-to-end tests on a real MIDI server, with HALDEN EXAMPLES [pipewire]
# as their arguments: starts a JACK server in user space (dummy driver), or PipeWire's
# JACK service as current desktops run it (headless, no session manager) with each
# program under pw-jack, and checks that a simulator answers through it.
set -u
halden=$(realpath "$1")
examples=$(realpath "$2")
work=$(mktemp -d)
export XDG_STATE_HOME=$work/state HALDEN_MIDI_SYSTEM=jack  # the updates' history
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
if [ "${3:-jackd}" = pipewire ]; then
    export XDG_RUNTIME_DIR=$work/run
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    printf '#!/bin/sh\nexec pw-jack "%s" "$@"\n' "$halden" >"$work/halden"
    chmod +x "$work/halden"
    halden=$work/halden
    jack_lsp() { pw-jack jack_lsp "$@"; }
    server=(pipewire)
else
    # A server of our own, apart from any other test's.
    export JACK_DEFAULT_SERVER=halden-e2e-$$ JACK_NO_START_SERVER=1
    server=(jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -d dummy -r 48000 -p 1024)
fi

stop_jack() {
    [ -n "${jackd_pid:-}" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
    jackd_pid=""
}
trap 'kill_sim; stop_jack; rm -rf "$work"' EXIT

start_jack() {
    # The server leaves our process group, so it is stopped by its PID.
    "${server[@]}" >"$work/jackd.log" 2>&1 </dev/null &
    jackd_pid=$!
    for _ in $(seq 250); do jack_lsp >/dev/null 2>&1 && return 0; sleep 0.02; done
    echo "the JACK server did not start:"; cat "$work/jackd.log"
    return 1
}

ports=(--out "halden simulator" --in "halden simulator")

# A ping through the ports; the server is started again once if it does not answer.
ping_through() {
    start_sim --baud 0 || return 1
    status_of rc "$work/ping.log" timeout 20 "$halden" identify "${ports[@]}"
    stop_sim
    return $rc
}

start_jack || exit 1
if ! ping_through; then
    echo "no answer through JACK; starting the server again"; cat "$work/ping.log"
    stop_jack
    start_jack && ping_through || { echo "FAIL the ping through JACK"; exit 1; }
fi
