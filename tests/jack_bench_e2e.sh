#!/usr/bin/env bash
# A service bench through a real MIDI server (tests/jack_server.sh): three simulators,
# each on its own ports, found by halden scan and --serial and updated at once.
# jack_bench_e2e.sh HALDEN EXAMPLES [pipewire]
. "$(dirname "$0")/jack_server.sh"

# A small image (26 blocks): each block waits two JACK periods, and what is checked here
# is how the Haldens are found and kept apart.
make_small_image
start_bench() {  # start_bench [options for the second Halden]: Haldens 1 to 3, each its own ports
    local n
    for n in 1 2 3; do  # the options: all of them for the second, none for the others
        spawn_sim "$work/bench$n.log" --baud 0 --sim-port-name "Bench Halden $n" --sim-serial "00000000010$n" \
            --save-memory "$work/bench$n.bin" --save-received "$work/bench$n.txt" "${@:1:$((n == 2 ? $# : 0))}" || exit 1
    done
}

# How Halden N's ports are shown: "client:port" of its output, then of its input.
ports_of() { echo "Bench Halden $1:Bench Halden $1 / Bench Halden $1-[0-9]+:Bench Halden $1"; }

# Three Haldens, a second interface of Halden 2's name, and a Halden whose two ports are
# named apart (one a long name, as some interfaces have): each found once, on its own
# ports, by where its answers come from.
start_bench
spawn_sim "$work/twin.log" --baud 0 --sim-port-name "Bench Halden 2" --sim-serial 000000000122 || exit 1
peer="Peer Halden (a long name, as some interfaces have)"
spawn_sim "$work/peer.log" --baud 0 --sim-port-name "$peer" --sim-output-name "Unrelated Answers" \
    --sim-serial 000000000133 || exit 1
timeout 60 "$halden" scan >"$work/out" 2>"$work/err"
rc=$?
for n in 1 2 3; do
    grep -Eq "^00000000010$n  1\.4  $(ports_of $n)$" "$work/out" || rc="$rc, Halden $n not listed"
done
grep -Fxq "000000000133  1.4  $peer:$peer / Unrelated Answers:Unrelated Answers" "$work/out" ||
    rc="$rc, not on the peer's own ports"
check "scan finds each Halden once, on its own ports, whatever they are called" 0 "$rc" "$work/err" \
    '^5 Haldens found; [0-9]+ MIDI outputs asked\.$'
holds "scan --json" jq -e '[.haldens[].serial] | sort == ["000000000101","000000000102","000000000103","000000000122","000000000133"]' \
    <(timeout 30 "$halden" scan --json 2>/dev/null)
expect "identify --serial finds its Halden" 0 "^Found Halden 000000000102 on $(ports_of 2)$" \
    timeout 30 "$halden" identify --serial 000000000102
expect "identify --serial 000000000122" 0 '^Halden serial #: 000000000122$' timeout 30 "$halden" identify --serial 000000000122
expect "identify finds the peer by its ports' names" 0 '^Halden serial #: 000000000133$' \
    timeout 30 "$halden" identify --out "peer halden (a long" --in "unrelated answers"
expect "a serial that nobody answers is refused" 7 \
    '^No Halden answers with serial number 000000000199 \([0-9]+ MIDI outputs were asked\)\.$' \
    timeout 30 "$halden" update "$work/small.hfi" --serial 000000000199
timeout 90 "$halden" update "$work/small.hfi" --serial 000000000101 --serial 000000000103 \
    --json 2>/dev/null >"$work/json"
check "update --serial twice --json updates those two" 0 $?
holds "... as the JSON says" jq -e '.ok and ([.updates[].identity | .serial + " " + .version] ==
    ["000000000101 2.1","000000000103 2.1"]) and ([.updates[].ok] | all)' "$work/json"
stop_sim
holds "... their memory holds the image" eval 'cmp -s "$work/bench1.bin" "$work/data.bin" && cmp -s "$work/bench3.bin" "$work/data.bin"'
holds "... and nothing was written to the others" nothing_written "$work/bench2.txt"

# Every Halden at once; the second one fails at its fourth block.
start_bench --sim-block-result 3=1
timeout 90 "$halden" update "$work/small.hfi" --all >"$work/out" 2>"$work/err"
rc=$?
for n in 1 3; do
    grep -Eq "^00000000010$n  $(ports_of $n)  1\.4 +2\.1 +ok +[0-9.]+ s$" "$work/out" || rc="$rc, no ok row for Halden $n"
done
grep -Eq '^000000000102  .*  1\.4 +- +11 MIDI Reports bad checksum +[0-9.]+ s$' "$work/out" ||
    rc="$rc, no failure row"
grep -Eq '^Serial +Ports +Before +After +Result +Time$' "$work/out" || rc="$rc, no header"
grep -q "^000000000102: The Halden's firmware area is now erased" "$work/err" || rc="$rc, no erased said"
stop_sim
check "update --all: the failure's status, a row each, the failed one said erased" 11 "$rc" "$work/out"

# Ctrl-C in the middle stops every one.
"$halden" pack "$work/slow.hfi" --area "$examples/firmware-1.5.bin:2.0" >/dev/null
start_bench
cut_short 'kill -INT $update_pid' "$block 00 0A" "$work/slow.hfi" --all  # about 30 blocks written in all
[ "$(grep -Ec '^00000000010[123]  .*  5 Operation canceled' "$work/out")" = 3 ] || rc="$rc, not every row canceled"
check "Ctrl-C stops every Halden's update, the summary says so for each" 5 "$rc" "$work/out"
stop_sim

finish
