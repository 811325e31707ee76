#!/usr/bin/env bash
# How long a SysEx message Chromium's Web MIDI delivers whole on the kernel's ALSA
# sequencer: one send() of each size from a page, to `halden simulate` on a program's port
# and, on the virtual raw MIDI device's raw side, to a card's port; then what arrived.
#   bench/webmidi_sizes.sh BUILD_DIR [SIZES]    (in a virtual machine; 3 to 8 minutes)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
sizes=${2:-4096,4097,5600,8192,16396}
if [ "${3:-}" != inside ]; then
    out=$(mktemp -d)
    "$top/scripts/alsa-vm.sh" "$out" bash "$top/bench/webmidi_sizes.sh" "$build" "$sizes" inside
    cat "$out/vm.out"; rm -rf "$out"
    exit 0
fi
# What headless Chromium needs there: a writable home, the loopback, udev for the cards.
export HALDEN_MIDI_SYSTEM=alsa SYSTEMD_IGNORE_CHROOT=1 HOME=/tmp/home
mkdir -p "$HOME"
ip link set lo up
/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add --subsystem-match=sound && udevadm settle
work=$(mktemp -d)
"$build/cli/halden" simulate --baud 0 --save-received "$work/program.txt" >"$work/sim1.log" 2>&1 &
sims=($!)
"$build/cli/halden" simulate --baud 0 --save-received "$work/card.txt" \
    --raw-midi /dev/snd/midiC0D0 >"$work/sim2.log" 2>&1 &
sims+=($!)
sleep 2
timeout 300 node "$top/bench/webmidi_sizes.mjs" chromium "$sizes" "Halden Simulator" "VirMIDI 0-0"
kill -INT "${sims[@]}"; wait "${sims[@]}"
for port in program card; do
    echo "arrived at the $port's port (bytes; whole: equal to what was sent):"
    python3 -c '
import sys
for line in open(sys.argv[1]):
    b = [int(x, 16) for x in line.split()]
    sent = [0xF0, 0x7D] + [i % 128 for i in range(2, len(b) - 1)] + [0xF7]
    print("  %d %s" % (len(b), "whole" if b == sent else "not as sent"))' "$work/$port.txt"
done
