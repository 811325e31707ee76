#!/bin/bash
# usb_midi_gadget.sh [PRODUCT]: run inside the ALSA virtual machine (as root). Makes a USB-MIDI
# device with the kernel's USB gadget MIDI function on the software USB controller dummy_hcd,
# so that the same kernel sees it through snd-usb-audio exactly as a plugged-in interface:
# a card "USB-Audio" whose sequencer client is "PRODUCT" with the port "PRODUCT MIDI 1". The
# gadget's own side is a raw MIDI card "f_midi"; the device path of it is printed last
# (/dev/snd/midiCnD0), for `halden simulate --raw-midi`. Unplug it with:
#   echo "" > /sys/kernel/config/usb_gadget/halden/UDC
set -eu
product=${1:-Halden USB}
modprobe dummy_hcd; modprobe libcomposite; modprobe usb_f_midi; modprobe snd-usb-audio; modprobe snd-seq-midi
mountpoint -q /sys/kernel/config || mount -t configfs none /sys/kernel/config
g=/sys/kernel/config/usb_gadget/halden
mkdir -p $g/strings/0x409 $g/configs/c.1 $g/functions/midi.usb0
echo 0x1d6b > $g/idVendor; echo 0x0104 > $g/idProduct
echo "$product" > $g/strings/0x409/product
[ -e $g/configs/c.1/midi.usb0 ] || ln -s $g/functions/midi.usb0 $g/configs/c.1/
[ -n "$(cat $g/UDC)" ] || ls /sys/class/udc > $g/UDC
for _ in $(seq 100); do grep -q USB-Audio /proc/asound/cards && break; sleep 0.2; done
card=$(awk '/f_midi/ && /\[/ {print $1}' /proc/asound/cards)
[ -n "$card" ] || { echo "usb-midi-gadget: no f_midi card" >&2; exit 1; }
echo /dev/snd/midiC${card}D0
