#!/usr/bin/env bash
# An update of 64 KiB less a byte (the largest area) through real MIDI systems, by
# block size: the time in all and per exchange (one block and its reply). The simulated Halden runs as its own program with
# no modelled wire time, so what is measured is the MIDI system's own.
#   bench/midi_systems.sh BUILD_DIR            ALSA (in a virtual machine), JACK, PipeWire
#   bench/midi_systems.sh BUILD_DIR SYSTEM     one of alsa, alsa-raw, alsa-usb, jack, pipewire, here
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
halden=$build/cli/halden
if [ $# -lt 2 ]; then
    out=$(mktemp -d)
    self=$top/bench/midi_systems.sh
    "$top/scripts/alsa-vm.sh" "$out" bash -c "bash $self $build alsa; bash $self $build alsa-raw; bash $self $build alsa-usb"
    cat "$out/vm.out"; rm -rf "$out"
    bash "$0" "$build" jack
    bash "$0" "$build" pipewire
    exit 0
fi
system=$2
work=$(mktemp -d)
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
server=""
run=("$halden")
ports=(--out "Halden Simulator" --in "Halden Simulator")
sim=()
case $system in
alsa) export HALDEN_MIDI_SYSTEM=alsa; sizes="128 1024 4083 8179 16383" ;;
alsa-raw)
    export HALDEN_MIDI_SYSTEM=alsa; sizes="128 1024 4083 8179 16383"
    ports=(--out "VirMIDI 0-0" --in "VirMIDI 0-0"); sim=(--raw-midi /dev/snd/midiC0D0) ;;
alsa-usb)  # a USB-MIDI interface: the kernel's gadget on its software USB controller
    export HALDEN_MIDI_SYSTEM=alsa; sizes="128 1024 4083 8179 16383"
    ports=(--out "Halden USB MIDI 1" --in "Halden USB MIDI 1")
    sim=(--raw-midi "$(bash "$top/tests/usb_midi_gadget.sh" "Halden USB" | tail -1)") ;;
jack)
    export HALDEN_MIDI_SYSTEM=jack JACK_DEFAULT_SERVER=halden-bench JACK_NO_START_SERVER=1
    sizes="128 1024 4083 8179"
    jackd -n halden-bench --no-realtime -d dummy -r 48000 -p 1024 >/dev/null 2>&1 &
    server=$! ;;
pipewire)
    export HALDEN_MIDI_SYSTEM=jack XDG_RUNTIME_DIR=$work/run
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    sizes="128 1024 4083 8179"
    pipewire >/dev/null 2>&1 &
    server=$!
    run=(pw-jack "$halden") ;;
*) echo "unknown MIDI system: $system"; exit 64 ;;
esac
sleep 1
for _ in $(seq 8); do cat "$top/examples/firmware-1.5.bin"; done | head -c 65535 >"$work/data.bin"
"$halden" pack "$work/64k.hfi" --control 1 --area "$work/data.bin" >/dev/null
for bs in $sizes; do
    "${run[@]}" simulate --baud 0 --sim-block-size "$bs" "${sim[@]}" >"$work/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 250); do grep -q ready "$work/sim.log" && break; sleep 0.02; done
    # The handshake and read-back are timed apart, from an identify alone.
    t0=$(date +%s%N)
    "${run[@]}" identify "${ports[@]}" >/dev/null 2>&1
    t1=$(date +%s%N)
    "${run[@]}" update "$work/64k.hfi" "${ports[@]}" >"$work/out" 2>&1
    rc=$?
    t2=$(date +%s%N)
    kill -INT $sim_pid; wait $sim_pid 2>/dev/null
    if [ $rc -ne 0 ]; then
        printf '%-9s block %5d: failed with status %d\n' "$system" "$bs" $rc; continue
    fi
    blocks=$((65535 / bs + 1))
    update_ms=$(((t2 - t1) / 1000000)); identify_ms=$(((t1 - t0) / 1000000))
    # The update less its handshake and read-back, each about as long as an identify.
    per=$(( (update_ms - 2 * identify_ms) * 1000 / blocks ))
    printf '%-9s block %5d: %6d ms in all, %4d.%03d ms per exchange of %d bytes\n' \
        "$system" "$bs" "$update_ms" $((per / 1000)) $((per % 1000)) $((bs + 13))
done
