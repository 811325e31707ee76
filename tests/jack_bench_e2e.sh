#!/usr/bin/env bash
# A service bench through a real MIDI server (tests/jack_server.sh): three simulators,
# each on its own ports, found by halden scan and --serial and updated at once.
# jack_bench_e2e.sh HALDEN EXAMPLES [pipewire]
. "$(dirname "$0")/jack_server.sh"

# --- a service bench: three Haldens on one JACK server ---
# A small image (26 blocks): each block waits two JACK periods, and what is checked here
# is how the Haldens are found and kept apart.
make_small_image
bench_pids=()
start_bench() {  # start_bench [options for the second Halden]: Haldens 1 to 3, each its own ports
    local n
    for n in 1 2 3; do
        local extra=()
        [ "$n" = 2 ] && extra=("$@")
        : >"$work/bench$n.log"  # as start_sim does: no "ready" left from the last run
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
trap 'stop_bench; cleanup' EXIT

start_bench || exit 1
timeout 30 "$halden" scan >"$work/out" 2>"$work/err"
rc=$?
for n in 1 2 3; do
    grep -Eq "^00000000010$n  1\.4  Bench Halden $n:Bench Halden $n / Bench Halden $n-[0-9]+:Bench Halden $n$" \
        "$work/out" || rc="$rc, Halden $n not listed"
done
check "scan lists the three Haldens" 0 "$rc" "$work/err" '^3 Haldens found; [0-9]+ MIDI outputs asked\.$'
timeout 30 "$halden" scan --json 2>/dev/null >"$work/json"
jq -e '[.haldens[].serial] | sort == ["000000000101","000000000102","000000000103"]' \
    "$work/json" >/dev/null
check "scan --json" 0 $?

timeout 30 "$halden" identify --serial 000000000102 >"$work/out" 2>&1
check "identify --serial finds its Halden" 0 $? "$work/out" \
    '^Found Halden 000000000102 on Bench Halden 2:Bench Halden 2 / Bench Halden 2-[0-9]+:Bench Halden 2$'
timeout 30 "$halden" update "$work/small.hfi" --serial 000000000199 >"$work/out" 2>&1
check "a serial that nobody answers is refused" 7 $? "$work/out" \
    '^No Halden answers with serial number 000000000199 \([0-9]+ MIDI outputs were asked\)\.$'

timeout 60 "$halden" update "$work/small.hfi" --serial 000000000103 >"$work/out" 2>&1
check "update --serial updates that Halden" 0 $? "$work/out" '^Current Halden version #: 2\.1$'
stop_bench
cmp -s "$work/bench3.bin" "$work/data.bin"
check "... and its memory holds the image" 0 $?
nothing_written "$work/bench1.txt" && nothing_written "$work/bench2.txt"
check "... and nothing was written to the others" 0 $?

# Two interfaces of one name, and a Halden whose two ports are named apart: each found
# once, on its own ports, by where its answers come from.
start_bench || exit 1
"$halden" simulate --baud 0 --sim-port-name "Bench Halden 2" --sim-serial 000000000122 \
    >"$work/twin.log" 2>&1 &
bench_pids+=($!)
"$halden" simulate --baud 0 --sim-port-name "Peer Halden" --sim-output-name "Unrelated Answers" \
    --sim-serial 000000000133 >"$work/peer.log" 2>&1 &
bench_pids+=($!)
wait_for "$work/twin.log" ready && wait_for "$work/peer.log" ready || exit 1
started=$(date +%s.%N)
timeout 60 "$halden" scan >"$work/out" 2>"$work/err"
rc=$?
echo "     (the scan took $(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s: $(tail -1 "$work/err"))"
for serial in 101 102 103 122 133; do
    [ "$(grep -c "^000000000$serial " "$work/out")" = 1 ] || rc="$rc, $serial not listed once"
done
grep -Eq '^000000000133  1\.4  Peer Halden:Peer Halden / Unrelated Answers:Unrelated Answers$' \
    "$work/out" || rc="$rc, not on the peer's own ports"
check "scan finds each Halden once, whatever its ports are called" 0 "$rc" "$work/out"
for serial in 000000000122 000000000133; do
    timeout 30 "$halden" identify --serial $serial >"$work/out" 2>&1
    check "identify --serial $serial" 0 $? "$work/out" "^Halden serial #: $serial\$"
done
stop_bench

# Every Halden at once; the second one fails at its fourth block.
start_bench --sim-block-result 3=1 || exit 1
timeout 90 "$halden" update "$work/small.hfi" --all >"$work/out" 2>"$work/err"
check "update --all: the exit status is the failure's" 11 $? "$work/err"
rc=0
for n in 1 3; do
    grep -Eq "^00000000010$n  Bench Halden $n:Bench Halden $n / Bench Halden $n-[0-9]+:Bench Halden $n  1\.4 +2\.1 +ok +[0-9.]+ s$" \
        "$work/out" || rc="$rc, no ok row for Halden $n"
done
grep -Eq '^000000000102  .*  1\.4 +- +11 MIDI Reports bad checksum +[0-9.]+ s$' "$work/out" ||
    rc="$rc, no failure row"
grep -Eq '^Serial +Ports +Before +After +Result +Time$' "$work/out" || rc="$rc, no header"
check "... and the summary has a row each" 0 "$rc" "$work/out"
grep -q "^000000000102: The Halden's firmware area is now erased" "$work/err"
check "... and says the failed one is erased" 0 $? "$work/err"
stop_bench
cmp -s "$work/bench1.bin" "$work/data.bin" && cmp -s "$work/bench3.bin" "$work/data.bin"
check "... and the others hold the image" 0 $?

# Two by serial number, with --json; then Ctrl-C in the middle stops every one.
start_bench || exit 1
timeout 90 "$halden" update "$work/small.hfi" --serial 000000000101 --serial 000000000103 \
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
: >"$work/out"  # emptied first: see start_sim
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
