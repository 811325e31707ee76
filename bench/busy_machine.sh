#!/usr/bin/env bash
# Updates of a 64 KiB image while four busy processes share the two cores with the MIDI
# system: how many succeed, without and with `--retries 2`, and the statuses of the
# failed ones. The simulated Halden runs as its own program, blocks of 1024 bytes, with no
# modelled wire time: what is measured is the MIDI system's own.
#   bench/busy_machine.sh BUILD_DIR [N]                 every system, N updates each (20)
#   bench/busy_machine.sh BUILD_DIR SYSTEM N RETRIES    one of alsa (run in the virtual
#                                                       machine), jack256, jack1024, pipewire
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
halden=$build/cli/halden
if [ $# -lt 3 ]; then
    n=${2:-20}
    self=$top/bench/busy_machine.sh
    out=$(mktemp -d)
    "$top/scripts/alsa-vm.sh" "$out" bash -c "bash $self $build alsa $n 0; bash $self $build alsa $n 2"
    cat "$out/vm.out"; rm -rf "$out"
    for system in jack256 jack1024 pipewire; do
        for retries in 0 2; do bash "$self" "$build" $system "$n" $retries; done
    done
    exit 0
fi
system=$2 n=$3 retries=$4
work=$(mktemp -d)
busy=()
server=""
trap 'kill ${busy[*]} $server 2>/dev/null; rm -rf "$work"' EXIT
run=("$halden")
export XDG_STATE_HOME=$work/state
case $system in
alsa) export HALDEN_MIDI_SYSTEM=alsa ;;
jack256 | jack1024)
    export HALDEN_MIDI_SYSTEM=jack JACK_DEFAULT_SERVER=halden-busy-$$ JACK_NO_START_SERVER=1
    jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -d dummy -r 48000 -p "${system#jack}" \
        >"$work/server.log" 2>&1 &
    server=$! ;;
pipewire)
    export HALDEN_MIDI_SYSTEM=jack XDG_RUNTIME_DIR=$work/run
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    pipewire >"$work/server.log" 2>&1 &
    server=$!
    run=(pw-jack "$halden") ;;
*) echo "unknown MIDI system: $system"; exit 64 ;;
esac
sleep 1
for _ in $(seq 8); do cat "$top/examples/firmware-1.5.bin"; done | head -c 65535 >"$work/data.bin"
"$halden" pack "$work/64k.hfi" --control 1 --area "$work/data.bin" >/dev/null
for _ in 1 2 3 4; do
    sh -c 'while :; do :; done' &
    busy+=($!)
done
ok=0 attempts=0 failures="" named=0
for i in $(seq "$n"); do
    "${run[@]}" simulate --baud 0 --sim-block-size 1024 >"$work/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 500); do grep -q ready "$work/sim.log" && break; sleep 0.02; done
    "${run[@]}" update "$work/64k.hfi" --out "Halden Simulator" --in "Halden Simulator" \
        --retries "$retries" --json >"$work/out.json" 2>"$work/err"
    rc=$?
    kill -INT $sim_pid; wait $sim_pid 2>/dev/null
    [ $rc -eq 0 ] && ok=$((ok + 1)) || failures+=" $rc"
    grep -q 'The MIDI server missed [0-9]* cycle' "$work/err" && named=$((named + 1))
    tries=$(jq -r '(.haldens[0].attempts // .attempts // [1]) | length' "$work/out.json" 2>/dev/null)
    attempts=$((attempts + ${tries:-1}))
    [ $rc -ne 0 ] && [ "$i" -eq 1 ] && tail -3 "$work/err" | sed 's/^/    /'
done
printf '%-9s --retries %d: %2d of %d updates succeeded, %d attempts%s; %d named missed cycles\n' \
    "$system" "$retries" "$ok" "$n" "$attempts" "${failures:+; failed with status$failures}" "$named"
