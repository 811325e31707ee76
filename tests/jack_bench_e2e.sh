#!/usr/bin/env bash
# A service bench through a real MIDI server (tests/jack_server.sh): three simulators,
# each on its own ports, found by halden scan and --serial and updated at once.
# jack_bench_e2e.sh HALDEN EXAMPLES [pipewire]
. "$(dirname "$0")/jack_server.sh"

# A small image (26 blocks): each block waits two JACK periods, and what is checked here
# is how the Haldens are found and kept apart.
make_small_image
start_bench() {  # start_bench [options for the second Halden]: Haldens 1 to 3, each its own ports
    local n extra
    for n in 1 2 3; do
        extra=()
        [ "$n" = 2 ] && extra=("$@")
        spawn_sim "$work/bench$n.log" --baud 0 --sim-port-name "Bench Halden $n" --sim-serial "00000000010$n" \
            --save-memory "$work/bench$n.bin" --save-received "$work/bench$n.txt" "${extra[@]}" || exit 1
    done
}

# How Halden N's ports are shown: "client:port" of its output, then of its input.
ports_of() { echo "Bench Halden $1:Bench Halden $1 / Bench Halden $1-[0-9]+:Bench Halden $1"; }

start_bench
timeout 30 "$halden" scan >"$work/out" 2>"$work/err"
rc=$?
for n in 1 2 3; do
    grep -Eq "^00000000010$n  1\.4  $(ports_of $n)$" "$work/out" || rc="$rc, Halden $n not listed"
done
check "scan lists the three Haldens" 0 "$rc" "$work/err" '^3 Haldens found; [0-9]+ MIDI outputs asked\.$'
timeout 30 "$halden" scan --json 2>/dev/null >"$work/json"
holds "scan --json" jq -e '[.haldens[].serial] | sort == ["000000000101","000000000102","000000000103"]' "$work/json"
expect "identify --serial finds its Halden" 0 "^Found Halden 000000000102 on $(ports_of 2)$" \
    timeout 30 "$halden" identify --serial 000000000102
expect "a serial that nobody answers is refused" 7 \
    '^No Halden answers with serial number 000000000199 \([0-9]+ MIDI outputs were asked\)\.$' \
    timeout 30 "$halden" update "$work/small.hfi" --serial 000000000199
expect "update --serial updates that Halden" 0 '^Current Halden version #: 2\.1$' \
    timeout 60 "$halden" update "$work/small.hfi" --serial 000000000103
stop_sim
holds "... and its memory holds the image" cmp -s "$work/bench3.bin" "$work/data.bin"
holds "... and nothing was written to the others" eval 'nothing_written "$work/bench1.txt" && nothing_written "$work/bench2.txt"'

# Two interfaces of one name, and a Halden whose two ports are named apart: each found
# once, on its own ports, by where its answers come from.
start_bench
spawn_sim "$work/twin.log" --baud 0 --sim-port-name "Bench Halden 2" --sim-serial 000000000122 || exit 1
spawn_sim "$work/peer.log" --baud 0 --sim-port-name "Peer Halden" --sim-output-name "Unrelated Answers" \
    --sim-serial 000000000133 || exit 1
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
    expect "identify --serial $serial" 0 "^Halden serial #: $serial\$" timeout 30 "$halden" identify --serial $serial
done
stop_sim

# Every Halden at once; the second one fails at its fourth block.
start_bench --sim-block-result 3=1
timeout 90 "$halden" update "$work/small.hfi" --all >"$work/out" 2>"$work/err"
check "update --all: the exit status is the failure's" 11 $? "$work/err"
rc=0
for n in 1 3; do
    grep -Eq "^00000000010$n  $(ports_of $n)  1\.4 +2\.1 +ok +[0-9.]+ s$" "$work/out" || rc="$rc, no ok row for Halden $n"
done
grep -Eq '^000000000102  .*  1\.4 +- +11 MIDI Reports bad checksum +[0-9.]+ s$' "$work/out" ||
    rc="$rc, no failure row"
grep -Eq '^Serial +Ports +Before +After +Result +Time$' "$work/out" || rc="$rc, no header"
grep -q "^000000000102: The Halden's firmware area is now erased" "$work/err" || rc="$rc, no erased said"
stop_sim
cmp -s "$work/bench1.bin" "$work/data.bin" && cmp -s "$work/bench3.bin" "$work/data.bin" ||
    rc="$rc, the others do not hold the image"
check "... a row each, the failed one said erased, the others hold the image" 0 "$rc" "$work/out"

# Two by serial number, with --json; then Ctrl-C in the middle stops every one.
start_bench
timeout 90 "$halden" update "$work/small.hfi" --serial 000000000101 --serial 000000000103 \
    --json 2>/dev/null >"$work/json"
rc=$?
jq -e '.ok and ([.updates[].identity.serial] == ["000000000101","000000000103"]) and
       ([.updates[].ok] | all)' "$work/json" >/dev/null || rc="$rc, not the JSON expected"
stop_sim
nothing_written "$work/bench2.txt" || rc="$rc, the third was written"
check "update --serial twice --json, the third left alone" 0 "$rc" "$work/json"
"$halden" pack "$work/slow.hfi" --area "$examples/firmware-1.5.bin:2.0" >/dev/null
start_bench
cut_short 'kill -INT $update_pid' "$block 00 0A" "$work/slow.hfi" --all  # about 30 blocks written in all
rc=$?
[ "$(grep -Ec '^00000000010[123]  .*  5 Operation canceled' "$work/out")" = 3 ] || rc="$rc, not every row canceled"
check "Ctrl-C stops every Halden's update, the summary says so for each" 5 "$rc" "$work/out"
stop_sim

finish
