#!/usr/bin/env bash
# End to end through a real MIDI server: a JACK server in user space (dummy driver),
# `halden simulate` on virtual ports, and `halden identify`/`update` on real ports.
# jack_e2e.sh HALDEN EXAMPLES pipewire: the same through PipeWire's JACK service, as
# current desktops run it (headless, no session manager), each program under pw-jack.
set -u
halden=$(realpath "$1")
examples=$(realpath "$2")
server=${3:-jackd}
work=$(mktemp -d)
export XDG_STATE_HOME=$work/state  # the updates' history
. "$(dirname "$0")/e2e_lib.sh"
export HALDEN_MIDI_SYSTEM=jack
jackd_pid=""
if [ "$server" = pipewire ]; then
    export XDG_RUNTIME_DIR=$work/run
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    printf '#!/bin/sh\nexec pw-jack "%s" "$@"\n' "$halden" >"$work/halden"
    chmod +x "$work/halden"
    halden=$work/halden
    jack_lsp() { pw-jack jack_lsp "$@"; }
else
    export JACK_DEFAULT_SERVER=halden-e2e JACK_NO_START_SERVER=1
fi

cleanup() {
    [ -n "$sim_pid" ] && kill -KILL "$sim_pid" 2>/dev/null
    [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

start_jack() {
    # The server leaves our process group, so it is stopped by its PID.
    if [ "$server" = pipewire ]; then
        pipewire >"$work/jackd.log" 2>&1 </dev/null &
    else
        jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -d dummy -r 48000 -p 1024 \
            >"$work/jackd.log" 2>&1 </dev/null &
    fi
    jackd_pid=$!
    for _ in $(seq 250); do
        jack_lsp >/dev/null 2>&1 && return 0
        sleep 0.02
    done
    echo "the JACK server did not start:"; cat "$work/jackd.log"
    return 1
}

stop_jack() {
    [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
    jackd_pid=""
}

ports=(--out "halden simulator" --in "halden simulator")

# A ping through the ports; the server is started again once if it does not answer.
ping_through() {
    start_sim --baud 0 || return 1
    timeout 20 "$halden" identify "${ports[@]}" >"$work/ping.log" 2>&1
    local rc=$?
    stop_sim
    return $rc
}

start_jack || exit 1
if ! ping_through; then
    echo "no answer through JACK; starting the server again"
    cat "$work/ping.log"
    stop_jack
    start_jack && ping_through || { echo "FAIL the ping through JACK"; exit 1; }
fi

# --- the ports are listed, in both directions ---
start_sim --baud 0 --sim-serial 0a0b0c0d0e0f --sim-version 3.1
"$halden" ports >"$work/out" 2>&1
check "ports lists the simulator's output port" 0 $? "$work/out" '^  1: .*Halden Simulator'
[ "$(grep -c 'Halden Simulator' "$work/out")" = 2 ]
check "and its input port" 0 $?

"$halden" ports --json 2>/dev/null >"$work/json"
jq -e '.ok and ([.outputs[].name, .inputs[].name] | map(test("Halden Simulator")) | all)
       and (.outputs[0].position == 1)' "$work/json" >/dev/null
check "ports --json lists them" 0 $? "$work/json"

timeout 30 "$halden" identify --out 1 --in 1 >"$work/out" 2>&1
check "identify by position" 0 $? "$work/out" '^Halden serial #: 0a0b0c0d0e0f$'
grep -q '^Current Halden version #: 3\.1$' "$work/out"
check "identify shows the version" 0 $?

timeout 30 "$halden" identify --out nosuch --in 1 >"$work/out" 2>&1
check "an unknown port name is refused" 1 $? "$work/out" 'No MIDI output port is called "nosuch"'
stop_sim

# --- a simulator under another name, as a second Halden on the bench would be ---
start_sim --baud 0 --sim-port-name "Bench Halden 2 (a long name, as some interfaces have)"
"$halden" ports >"$work/out" 2>&1
[ "$(grep -c 'Bench Halden 2 (a long name, as some interfaces have)' "$work/out")" = 2 ]
check "ports lists both of its ports by that name" 0 $? "$work/out"
timeout 30 "$halden" identify --out "bench halden 2" --in "bench halden 2" >"$work/out" 2>&1
check "identify finds it by that name" 0 $? "$work/out" '^Halden serial #: 000a7f100102$'
stop_sim

# --- the simulator's ports go at its 8th message, as if unplugged ---
start_sim --baud 0 --sim-port-fails-after 8
timeout 60 "$halden" update "$examples/halden-1.5.hfi" "${ports[@]}" >"$work/out" 2>&1
check "an update fails when the ports go" 1 $? "$work/out" 'has gone away'
wait_for "$work/sim.log" 'the ports are gone'
check "the simulator says its ports went" 0 $? "$work/sim.log"
stop_sim
[ "$(grep -c '' "$work/received.txt")" = 7 ]
check "it took seven messages" 0 $? "$work/received.txt"

# --- a whole update, checked on the device ---
make_small_image
start_sim --baud 0
timeout 60 "$halden" update "$work/small.hfi" "${ports[@]}" --trace >"$work/out" 2>&1
check "update through JACK" 0 $? "$work/out" '^Current Halden version #: 2\.1$'
stop_sim
cmp -s "$work/memory.bin" "$work/data.bin"
check "the Halden holds the image's data" 0 $?
grep ' > ' "$work/out" | sed 's/.* > //' >"$work/sent.txt"
# A handshake request may be lost while JACK makes the new connection live (the
# handshake repeats it for that reason): only those may differ.
handshake='F0 41 10 4B 39 10 02 F7'
after_handshake() { awk -v h="$handshake" 'seen || $0 != h { seen = 1; print }' "$1"; }
cmp -s <(after_handshake "$work/sent.txt") <(after_handshake "$work/received.txt") &&
    grep -qx "$handshake" "$work/received.txt"
check "it received exactly the messages sent" 0 $?
[ "$(grep -c '' "$work/received.txt")" = 30 ]  # handshake, identity, control, erase, 24+1 blocks, read-back
check "and no others" 0 $?

# --- noise on the link ---
start_sim --baud 0 --sim-realtime --sim-foreign --sim-cut-off
timeout 60 "$halden" update "$work/small.hfi" "${ports[@]}" >"$work/out" 2>&1
check "update with clock bytes, foreign and cut-off messages" 0 $? "$work/out" 'successfully'
stop_sim

# --- blocks too long for JACK are refused before the Halden is erased ---
head -c 16383 "$examples/firmware-1.5.bin" >"$work/big.bin"
"$halden" pack "$work/big.hfi" --control 1 --area "$work/big.bin" >/dev/null
start_sim --baud 0 --sim-block-size 16370
timeout 60 "$halden" update "$work/big.hfi" "${ports[@]}" >"$work/out" 2>&1
check "blocks JACK cannot carry are refused" 17 $? "$work/out" \
    "^The Halden's blocks are too long for this MIDI port; nothing was erased$"
stop_sim
! grep -Eq '^F0 41 10 4B 39 (13|15|10 01)' "$work/received.txt"
check "no erase, block or control request reached the Halden" 0 $?

# --- every kind of block size: updated, or refused before the erase ---
sweep_blocks 8192 "halden simulator" "halden simulator"

# --- the Halden's ports disappear in the middle of an update ---
start_sim --baud 0
timeout 60 "$halden" update "$examples/halden-1.5.hfi" "${ports[@]}" --trace >"$work/out" 2>&1 &
update_pid=$!
for _ in $(seq 500); do grep -q ' > F0 41 10 4B 39 15' "$work/out" && break; sleep 0.02; done
kill -KILL "$sim_pid"
wait "$sim_pid" 2>/dev/null
sim_pid=""
wait $update_pid
check "a port that disappears ends the update" 1 $? "$work/out" 'has gone away'

# --- a service bench: three Haldens on one JACK server ---
bench_pids=()
start_bench() {  # start_bench [options for the second Halden]: Haldens 1 to 3, each its own ports
    local n
    for n in 1 2 3; do
        local extra=()
        [ "$n" = 2 ] && extra=("$@")
        "$halden" simulate --baud 0 --sim-port-name "Bench Halden $n" --sim-serial "00000000010$n" \
            --save-memory "$work/bench$n.bin" --save-received "$work/bench$n.txt" "${extra[@]}" \
            >"$work/bench$n.log" 2>&1 &
        bench_pids+=($!)
    done
    for n in 1 2 3; do wait_for "$work/bench$n.log" ready || { cat "$work/bench$n.log"; return 1; }; done
}
stop_bench() {
    local pid
    for pid in "${bench_pids[@]}"; do kill -INT "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    bench_pids=()
}

start_bench || exit 1
timeout 30 "$halden" scan >"$work/out" 2>"$work/err"
rc=$?
for n in 1 2 3; do
    grep -Eq "^00000000010$n  1\.4  Bench Halden $n:Bench Halden $n / Bench Halden $n-[0-9]+:Bench Halden $n$" \
        "$work/out" || rc="$rc, Halden $n not listed"
done
check "scan lists the three Haldens" 0 "$rc" "$work/err" '^3 Haldens found on [0-9]+ pairs of ports'
timeout 30 "$halden" scan --json 2>/dev/null >"$work/json"
jq -e '[.haldens[].serial] | sort == ["000000000101","000000000102","000000000103"]' \
    "$work/json" >/dev/null
check "scan --json" 0 $?

timeout 30 "$halden" identify --serial 000000000102 >"$work/out" 2>&1
check "identify --serial finds its Halden" 0 $? "$work/out" \
    '^Found Halden 000000000102 on Bench Halden 2:Bench Halden 2 / Bench Halden 2-[0-9]+:Bench Halden 2$'
timeout 30 "$halden" update "$examples/halden-1.5.hfi" --serial 000000000199 >"$work/out" 2>&1
check "a serial that nobody answers is refused" 7 $? "$work/out" \
    '^No Halden answers with serial number 000000000199 \([0-9]+ pairs of ports with matching names were asked\)\.$'

timeout 60 "$halden" update "$examples/halden-1.5.hfi" --serial 000000000103 >"$work/out" 2>&1
check "update --serial updates that Halden" 0 $? "$work/out" '^Current Halden version #: 1\.5$'
stop_bench
cmp -s "$work/bench3.bin" "$examples/firmware-1.5.bin"
check "... and its memory holds the image" 0 $?
nothing_written "$work/bench1.txt" && nothing_written "$work/bench2.txt"
check "... and nothing was written to the others" 0 $?

# Every Halden at once; the second one fails at its fourth block.
start_bench --sim-block-result 3=1 || exit 1
timeout 90 "$halden" update "$examples/halden-1.5.hfi" --all >"$work/out" 2>"$work/err"
check "update --all: the exit status is the failure's" 11 $? "$work/err"
rc=0
for n in 1 3; do
    grep -Eq "^00000000010$n  Bench Halden $n:Bench Halden $n / Bench Halden $n-[0-9]+:Bench Halden $n  1\.4 +1\.5 +ok +[0-9.]+ s$" \
        "$work/out" || rc="$rc, no ok row for Halden $n"
done
grep -Eq '^000000000102  .*  1\.4 +- +11 MIDI Reports bad checksum +[0-9.]+ s$' "$work/out" ||
    rc="$rc, no failure row"
grep -Eq '^Serial +Ports +Before +After +Result +Time$' "$work/out" || rc="$rc, no header"
check "... and the summary has a row each" 0 "$rc" "$work/out"
grep -q "^000000000102: The Halden's firmware area is now erased" "$work/err"
check "... and says the failed one is erased" 0 $? "$work/err"
stop_bench
cmp -s "$work/bench1.bin" "$examples/firmware-1.5.bin" && cmp -s "$work/bench3.bin" "$examples/firmware-1.5.bin"
check "... and the others hold the image" 0 $?

# Two by serial number, with --json; then Ctrl-C in the middle stops every one.
start_bench || exit 1
timeout 90 "$halden" update "$examples/halden-1.5.hfi" --serial 000000000101 --serial 000000000103 \
    --json 2>/dev/null >"$work/json"
rc=$?
jq -e '.ok and ([.updates[].identity.serial] == ["000000000101","000000000103"]) and
       ([.updates[].ok] | all)' "$work/json" >/dev/null || rc="$rc, not the JSON expected"
check "update --serial twice --json" 0 "$rc" "$work/json"
stop_bench
nothing_written "$work/bench2.txt"
check "... and the third was left alone" 0 $?
"$halden" pack "$work/slow.hfi" --area "$examples/firmware-1.5.bin:2.0" >/dev/null
start_bench || exit 1
timeout 90 "$halden" update "$work/slow.hfi" --all --trace >"$work/out" 2>&1 &
update_pid=$!
for _ in $(seq 500); do [ "$(grep -c ' > F0 41 10 4B 39 15' "$work/out")" -ge 30 ] && break; sleep 0.02; done
kill -INT $update_pid
wait $update_pid
check "Ctrl-C stops every Halden's update" 5 $? "$work/out"
[ "$(grep -Ec '^00000000010[123]  .*  5 Operation canceled' "$work/out")" = 3 ]
check "... and the summary says so for each" 0 $? "$work/out"
stop_bench

finish
