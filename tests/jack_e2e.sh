#!/usr/bin/env bash
# End to end through a real MIDI server (tests/jack_server.sh): `halden simulate` on
# virtual ports, and `halden identify`/`update` on real ports.
# jack_e2e.sh HALDEN EXAMPLES [pipewire]
. "$(dirname "$0")/jack_server.sh"

# --- the ports are listed, in both directions ---
start_sim --baud 0 --sim-serial 0a0b0c0d0e0f --sim-version 3.1
check "the simulator names its MIDI system as users know it" 0 0 "$work/sim.log" \
    '^Halden Simulator ready on JACK \(serial 0a0b0c0d0e0f\)'
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

make_small_image
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

# --- another halden beside an update sends nothing into it ---
# At MIDI's own speed the update lasts a few seconds: time for the others to try.
start_sim --baud 31250
for run in 1 2 3; do
    : >"$work/out"  # emptied first: see start_sim
    timeout 60 "$halden" update "$examples/halden-1.5.hfi" "${ports[@]}" --yes --trace \
        >"$work/out" 2>&1 &
    update_pid=$!
    for _ in $(seq 500); do grep -q ' > F0 41 10 4B 39 15' "$work/out" && break; sleep 0.02; done
    timeout 30 "$halden" scan >"$work/scan" 2>&1
    scan_rc=$?
    timeout 30 "$halden" identify "${ports[@]}" >"$work/identify" 2>&1
    identify_rc=$?
    wait $update_pid
    check "an update beside a scan and an identify, run $run" 0 $? "$work/out" 'successfully'
    check "the scan calls its ports busy, run $run" 0 $scan_rc "$work/scan" \
        '^busy \(an update is running\)  .*Halden Simulator'
    check "identify is refused, run $run" 21 $identify_rc "$work/identify" \
        'is in use by another halden program \(process [0-9]+\)'
done
stop_sim

# --- Ctrl-C while the JACK server is stalled ends the update within two seconds ---
start_sim --baud 31250
: >"$work/out"  # emptied first: see start_sim
timeout 60 "$halden" update "$examples/halden-1.5.hfi" "${ports[@]}" --yes --trace \
    --history "$work/stalled.log" >"$work/out" 2>&1 &
update_pid=$!
for _ in $(seq 500); do grep -q ' > F0 41 10 4B 39 15' "$work/out" && break; sleep 0.02; done
kill -STOP "$jackd_pid"
sleep 0.5
kill -INT $update_pid
started=$(date +%s%N)
wait $update_pid
rc=$?
took=$((($(date +%s%N) - started) / 1000000))
timeout 30 "$halden" ports >"$work/ports.out" 2>&1
ports_rc=$?
kill -CONT "$jackd_pid"
[ "$took" -le 2000 ] || rc="$rc after $took ms"
check "Ctrl-C with the server stalled: canceled within 2 s" 5 "$rc" "$work/out" '^Operation canceled$'
grep -q "The Halden's firmware area is now erased" "$work/out"
check "... with the state it is left in" 0 $? "$work/out"
[ "$(grep -c . "$work/stalled.log" 2>/dev/null)" = 1 ]
check "... and its history line" 0 $? "$work/stalled.log"
check "listing ports on a stalled server gives up with a word" 1 $ports_rc "$work/ports.out" \
    '^The MIDI system does not answer: listing its ports took longer than 5 s'
stop_sim

# --- the Halden's ports disappear in the middle of an update ---
start_sim --baud 0
: >"$work/out"  # emptied first: see start_sim
timeout 60 "$halden" update "$examples/halden-1.5.hfi" "${ports[@]}" --trace >"$work/out" 2>&1 &
update_pid=$!
for _ in $(seq 500); do grep -q ' > F0 41 10 4B 39 15' "$work/out" && break; sleep 0.02; done
kill -KILL "$sim_pid"
wait "$sim_pid" 2>/dev/null
sim_pid=""
wait $update_pid
check "a port that disappears ends the update" 1 $? "$work/out" 'has gone away'

finish
