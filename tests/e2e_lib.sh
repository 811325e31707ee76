# shellcheck shell=bash
# Helpers for the end-to-end tests: sourced, with $halden (or what is tested) and $work
# set. `check` counts; `finish` prints the closing line and gives the exit status.
passed=0 failed=0 busy=0
sims=()
block=' > F0 41 10 4B 39 15'  # a block write, as --trace shows it

check() {  # check NAME EXPECTED_STATUS ACTUAL_STATUS [OUTPUT_FILE [PATTERN]]
    if [ "$3" != "$2" ]; then
        echo "FAIL $1: exit status $3, expected $2"; [ $# -ge 4 ] && cat "$4"
    elif [ $# -ge 5 ] && ! grep -Eq -- "$5" "$4"; then
        echo "FAIL $1: output does not match /$5/:"; cat "$4"
    else
        echo "ok   $1"; passed=$((passed + 1)); return
    fi
    failed=$((failed + 1))
    # The program's own word that the MIDI server missed cycles: a busy machine.
    [ $# -ge 4 ] && grep -q 'The MIDI server missed [0-9]* cycle' "$4" && busy=$((busy + 1))
}

expect() {  # expect NAME EXPECTED_STATUS PATTERN COMMAND...: runs it (output in $work/out), checks
    "${@:4}" >"$work/out" 2>&1 </dev/null
    check "$1" "$2" $? "$work/out" "$3"
}

holds() {  # holds NAME COMMAND...: the command (a condition) succeeds
    "${@:2}" >/dev/null
    check "$1" 0 $?
}

status_of() {  # status_of VAR FILE COMMAND...: runs the command, output in FILE, its exit status in $VAR
    "${@:3}" >"$2" 2>&1 </dev/null
    printf -v "$1" %d $?
}

finish() {  # exit status 3: every failure came while the MIDI server missed cycles
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ] && return 0
    [ "$failed" -eq "$busy" ] && { echo "($busy of them while the MIDI server missed cycles)"; return 3; }
    return 1
}

wait_for() {  # wait_for FILE PATTERN [TRIES of 20 ms]: until the file shows the pattern
    for _ in $(seq "${3:-500}"); do grep -Eq -- "$2" "$1" 2>/dev/null && return 0; sleep 0.02; done
    return 1
}

spawn_sim() {  # spawn_sim LOG [simulator options]: one more simulator, once ready
    # Emptied here, not by the redirection below: that happens in the child, maybe only
    # after the wait below has found the last simulator's "ready" in the old log.
    : >"$1"
    "$halden" simulate "${@:2}" >"$1" 2>&1 &
    sims+=($!)
    wait_for "$1" ready && return 0
    echo "the simulator did not start:"; cat "$1"
    return 1
}

start_sim() {  # start_sim [simulator options]: it keeps what it was sent in $work
    spawn_sim "$work/sim.log" --save-memory "$work/memory.bin" --save-received "$work/received.txt" "$@"
}

stop_sim() {  # stop_sim [SIGNAL]: ends every simulator, by default the normal way (it saves its files)
    local pid
    for pid in "${sims[@]}"; do kill -"${1:-INT}" "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    sims=()
}

kill_sim() { stop_sim KILL; }  # as a cable pulled out: no goodbye

update_bg() {  # update_bg PATTERN ARGS...: `update ARGS --trace` in the background ($update_pid), until its trace shows PATTERN
    : >"$work/out"  # emptied first: see spawn_sim
    timeout 60 "$halden" update "${@:2}" --trace >"$work/out" 2>&1 &
    update_pid=$!
    wait_for "$work/out" "$1"
}

cut_short() {  # cut_short ACTION PATTERN ARGS...: update_bg PATTERN ARGS, then ACTION (eval'd); the update's status in $rc
    update_bg "${@:2}"
    eval "$1"
    wait "$update_pid"
    rc=$?
}

# The messages an update sent (from its --trace output), one a line as the simulator
# writes them.
sent_messages() { grep ' > ' "$1" | sed 's/.* > //'; }

# Nothing that changes the Halden: no erase, block or control request.
nothing_written() { ! grep -Eq '^F0 41 10 4B 39 (13|15|10 01)' "$1"; }

# make_small_image [BYTES [NAME]]: $work/NAME.hfi (small.hfi), BYTES (3000: 25 blocks of
# 128 and a closing one) of firmware that carry version 2.1, as in $work/data.bin.
make_small_image() {
    head -c "${1:-3000}" "$examples/firmware-1.5.bin" >"$work/data.bin"
    printf '\x02\x01' | dd of="$work/data.bin" bs=1 conv=notrunc status=none
    "$halden" pack "$work/${2:-small}.hfi" --control 1 --area "$work/data.bin" >/dev/null
}

# The messages sent and received, from the first that is not a handshake request: one
# may be lost while JACK makes a new connection live (the handshake repeats it for that
# reason), and only those may differ.
handshake='F0 41 10 4B 39 10 02 F7'
after_handshake() { awk -v h="$handshake" 'seen || $0 != h { seen = 1; print }' "$1"; }
same_traffic() {  # same_traffic TRACE_OUTPUT: the Halden received exactly what was sent
    cmp -s <(sent_messages "$1" | after_handshake /dev/stdin) \
        <(after_handshake "$work/received.txt") && grep -qx "$handshake" "$work/received.txt"
}

# Every block size in BLOCK_SIZES either updates completely (the Halden holds the data
# and received exactly what was sent) or, when its messages would be longer than LIMIT
# bytes, is refused before anything is erased. sweep_blocks LIMIT OUT IN [simulator options]
BLOCK_SIZES=${BLOCK_SIZES:-1 2 127 128 129 1000 4083 4084 5559 5560 8179 8180 16366 16383}
sweep_blocks() {
    local limit=$1 out=$2 in=$3 bs rc
    for bs in $BLOCK_SIZES; do
        # Two whole blocks and a part of one, so that the last block is short.
        head -c $((2 * bs + (bs + 1) / 2)) "$examples/firmware-1.5.bin" >"$work/sweep.bin"
        "$halden" pack "$work/sweep.hfi" --control 1 --area "$work/sweep.bin" >/dev/null
        start_sim --baud 0 --sim-block-size "$bs" "${@:4}" || { failed=$((failed + 1)); continue; }
        status_of rc "$work/out" timeout 60 "$halden" update "$work/sweep.hfi" --out "$out" --in "$in" --trace
        stop_sim
        if [ $((bs + 13)) -le "$limit" ]; then
            cmp -s "$work/memory.bin" "$work/sweep.bin" || rc="$rc, memory differs"
            same_traffic "$work/out" || rc="$rc, other messages arrived than were sent"
            check "block size $bs updates" 0 "$rc" "$work/out" 'successfully updated'
        else
            nothing_written "$work/received.txt" || rc="$rc, the Halden was written"
            check "block size $bs is refused before the erase" 17 "$rc" "$work/out" \
                "^The Halden's blocks are too long for this MIDI port; nothing was erased$"
        fi
    done
}
