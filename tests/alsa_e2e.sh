#!/usr/bin/env bash
# End to end on the kernel's ALSA sequencer (run by tests/alsa_vm_test.sh in a virtual
# machine that has it): the ports the kernel lists, updates through `halden simulate` on
# sequencer ports and, as through a USB-MIDI interface, on the raw MIDI side of the
# kernel's virtual MIDI device, every kind of block size, faults of the link, the
# desktop app under Xvfb, and the web page in headless Chromium through its Web MIDI.
# alsa_e2e.sh HALDEN HALDEN_GUI EXAMPLES [WEB_SITE]
set -u
halden=$(realpath "$1")
gui=$2
examples=$(realpath "$3")
site=${4:-}
work=$(mktemp -d)
. "$(dirname "$0")/e2e_lib.sh"
export HALDEN_MIDI_SYSTEM=alsa
trap 'kill_sim; rm -rf "$work"' EXIT
v15=$examples/halden-1.5.hfi

# The line of the port whose name contains $2 in the "$1 ports" list of `halden ports`,
# and its position there.
port_line() { "$halden" ports | sed -n "/^$1 ports/,/^[A-Z]/p" | grep -F -- "$2" | head -1; }
position() { port_line "$@" | sed 's/^ *\([0-9]*\):.*/\1/'; }
sim=(--out "Halden Simulator" --in "Halden Simulator")

# --- the kernel's ports ---
expect "ports names the MIDI system" 0 '^MIDI system: ALSA$' "$halden" ports
holds "and lists the kernel's ports in both lists" \
    test "$(grep -c -e 'Midi Through Port-0 14:0' -e 'VirMIDI 0-0 16:0' "$work/out")" = 4

# --- a position opens the port it names, while our own new ports shift the lists ---
# Idle clients take the low client numbers and give them back once the simulator has
# higher ones: our own ports then come before the simulator's in the lists.
idle=()
for _ in 1 2 3 4; do aseqdump -p 14:0 >/dev/null 2>&1 & idle+=($!); done
sleep 0.3
start_sim --baud 0 --sim-serial 0a0b0c0d0e0f --sim-version 3.1
kill "${idle[@]}"; wait "${idle[@]}" 2>/dev/null
out=$(position Output "Halden Simulator"); in=$(position Input "Halden Simulator")
status_of rc "$work/out" timeout 30 "$halden" identify --out "$out" --in "$in" --trace
stop_sim
cmp -s <(sent_messages "$work/out") "$work/received.txt" || rc="$rc, other messages arrived than were sent"
check "identify by positions $out and $in, the simulator got exactly what was sent" 0 "$rc" "$work/out" \
    '^Halden serial #: 0a0b0c0d0e0f$'

# --- noise on the link, and another program listening to the Halden, which hears the
# replies too ---
make_small_image
start_sim --baud 0 --sim-realtime --sim-foreign --sim-cut-off
# The simulator's output port, by its address ("131:0") as the input list shows it.
aseqdump -p "$(port_line Input "Halden Simulator" | grep -o '[0-9]*:[0-9]*$')" >"$work/listener.log" 2>&1 &
listener=$!
sleep 0.3
expect "update with clock bytes, foreign and cut-off messages, and a listener" 0 'successfully' \
    timeout 60 "$halden" update "$work/small.hfi" "${sim[@]}"
kill $listener; wait $listener 2>/dev/null
stop_sim
holds "... which hears the replies" grep -q 'System exclusive' "$work/listener.log"

# --- every kind of block size: updated, or refused before the erase; on sequencer
# ports and, as to a USB-MIDI interface, through the kernel's raw MIDI bridge ---
# Sizes that mattered to some part: 4083 and 4084 around the kernel bridge's one page,
# 8192 over the default pool of a program's port (5572 bytes), 16383 the largest.
export BLOCK_SIZES="1 128 4083 4084 8192 16383"
sweep_blocks 1048576 "Halden Simulator" "Halden Simulator"
sweep_blocks 1048576 "VirMIDI 0-0" "VirMIDI 0-0" --raw-midi /dev/snd/midiC0D0

# --- a USB-MIDI interface: the kernel's USB gadget MIDI function on its software USB
# controller, seen by the same kernel as a plugged-in interface (snd-usb-audio); the
# simulator answers on the gadget's own raw MIDI side ---
usb=(--out "Halden USB MIDI 1" --in "Halden USB MIDI 1")
if gadget=$(bash "$(dirname "$0")/usb_midi_gadget.sh" "Halden USB" 2>"$work/gadget.log" | tail -1) &&
    [ -n "$gadget" ]; then
    sweep_blocks 1048576 "${usb[1]}" "${usb[3]}" --raw-midi "$gadget"
    # Unplugged in the middle of an update.
    start_sim --baud 3125 --raw-midi "$gadget"
    cut_short 'echo "" >/sys/kernel/config/usb_gadget/halden/UDC' "$block" "$v15" "${usb[@]}"
    check "the USB-MIDI interface is unplugged during an update: status 16" 1 "$rc" "$work/out" \
        'The MIDI port "Halden USB:Halden USB MIDI 1 [0-9:]*" has gone away'
    kill_sim
else
    check "a USB-MIDI interface on the software USB controller" 0 1 "$work/gadget.log"
fi

# --- faults ---
# The Halden's ports vanish in the middle of an update, and during the handshake.
while IFS='|' read -r when pattern options; do
    start_sim $options  # split: two words
    cut_short 'killed=$(date +%s%N); kill_sim' " > $pattern" "$v15" "${sim[@]}"
    took=$((($(date +%s%N) - killed) / 1000000))
    # Told by the sequencer's announcement, long before a reply's wait would end; the
    # emulated machine of this test took 1.6 s of it once while the host was busy.
    [ $took -le 2000 ] || rc="$rc after $took ms"
    check "the Halden's ports vanish during the $when: status 16's text within two seconds" \
        1 "$rc" "$work/out" 'The MIDI port "Halden Simulator:Halden Simulator [0-9:]*" has gone away'
done <<'EOF2'
update|F0 41 10 4B 39 15|--baud 3125
handshake|F0 41 10 4B 39 10 02|--sim-silent
EOF2

# Ctrl-C in the middle of an update: canceled, nothing sent after.
start_sim --baud 3125
cut_short 'kill -INT $update_pid' "$block 00 05" "$v15" "${sim[@]}"
sleep 0.5  # anything still on its way arrives
stop_sim
cmp -s <(sent_messages "$work/out") "$work/received.txt" || rc="$rc, traffic differs"
check "Ctrl-C during an update cancels it, nothing sent after" 5 "$rc" "$work/out" '^Operation canceled$'

# --- the desktop app under Xvfb: Connect and Update through its windows ---
if [ -x "$gui" ] && command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    Xvfb :7 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:7
    for _ in $(seq 100); do [ -e /tmp/.X11-unix/X7 ] && break; sleep 0.1; done
    start_sim --baud 0
    printf 'OutputBus=%s\nInputBus=%s\n' "$(position Output "Halden Simulator")" \
        "$(position Input "Halden Simulator")" >"$work/ports.conf"
    "$gui" --settings "$work/ports.conf" >"$work/gui.log" 2>&1 &
    gui_pid=$!
    # box SECONDS TITLE: the ids of the windows so titled, once one shows. Searched again and
    # again rather than with --sync: a window that closes while xdotool looks at it ends
    # xdotool with BadWindow, which --sync does not retry.
    box() { timeout "$1" bash -c 'until xdotool search --onlyvisible --name "^$0\$" 2>/dev/null; do sleep 0.2; done' "$2"; }
    key() { sleep 0.3; xdotool key --delay 100 --clearmodifiers "$@"; }
    main=$(box 120 'Halden Firmware Update Utility - V1.00' | head -1)  # slow under emulation
    if [ -n "$main" ]; then
        xdotool windowfocus --sync "$main"
        eval "$(xdotool getwindowgeometry --shell "$main")"
        # Both ports restored: Connect is ready at once and, as the first control that
        # takes the focus (Update is disabled), has it. Enter presses it.
        key Return
        holds "Connect in the app reaches the Halden" box 30 'Halden Firmware Update Utility'
        key Return
        # The file's name typed into its field; leaving the field checks it and enables
        # Update, three steps on from the first list.
        xdotool mousemove $((X + 283)) $((Y + 146)) click 1
        sleep 0.3; xdotool type --delay 5 "$work/small.hfi"
        key Tab
        key Tab Tab Tab Return
        holds "Update in the app ends with its box" box 60 'Halden Firmware Update Utility'
        key Return
    fi
    stop_sim
    # Also what fails when the main window never showed.
    cmp -s "$work/memory.bin" "$work/data.bin"
    check "the app opens its window, and the Halden holds the image's data" 0 $? "$work/gui.log"
    kill $gui_pid $xvfb 2>/dev/null
else
    echo "skip the desktop app: no halden-gui, Xvfb or xdotool"
fi

# --- the web page in headless Chromium, through the browser's Web MIDI: one Halden takes
# a 16 KiB update, another refuses its fourth block ---
if [ -f "$site/halden.wasm" ] && command -v chromium >/dev/null && command -v node >/dev/null; then
    # What Chromium needs here: the loopback for its pipe, and udev, without which it
    # stops listing ports after the first card's.
    ip link set lo up
    export SYSTEMD_IGNORE_CHROOT=1  # udev's tools refuse to work in a chroot otherwise
    /lib/systemd/systemd-udevd --daemon >/dev/null 2>&1
    udevadm trigger --action=add --subsystem-match=sound && udevadm settle
    make_small_image 16384 web
    start_sim --baud 0
    spawn_sim "$work/refusing.log" --baud 0 --sim-port-name "Halden Refusing" \
        --sim-block-result 3=1
    status_of rc "$work/web.log" timeout 600 node "$(dirname "$0")/web_page_test.mjs" chromium "$site" \
        "$work/web.hfi" alsa
    stop_sim
    cmp -s "$work/memory.bin" "$work/data.bin" || rc="$rc, the Halden does not hold the image's data"
    check "the web page updates one Halden through Web MIDI and tells another's refusal" 0 "$rc" \
        "$work/web.log" passed
else
    echo "skip the web page: no page built, chromium or node"
fi

finish
