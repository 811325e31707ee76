#!/usr/bin/env bash
# alsa-vm.sh OUTDIR COMMAND [ARGS...]: runs COMMAND in a small virtual machine that has
# the kernel's ALSA sequencer, for tests that need a real one on a machine without a
# sound card. It boots Debian's own kernel under qemu with this machine's root shared
# read-only, loads the sequencer with its dummy client and two virtual raw MIDI devices
# (snd-seq, snd-seq-dummy, snd-virmidi), and runs COMMAND in a chroot of the root with
# tmpfs on /tmp, /run, /root and /var/tmp (this checkout stays where it is, also in one
# of these). OUTDIR (on this machine) is writable there,
# at the same path, and receives COMMAND's output as OUTDIR/vm.out.
# Exit status: COMMAND's; 2 when this machine cannot start the VM (packages missing);
# 3 when COMMAND did not finish within VM_TIMEOUT seconds (default 900).
# Software emulation (TCG) throughout: nested KVM hangs at boot on our build machines.
set -euo pipefail
out=$(realpath "$1")
shift
kernel=$(ls /lib/modules 2>/dev/null | grep -E 'amd64$' | sort -V | tail -1 || true)
if [ -z "$kernel" ] || [ ! -f "/boot/vmlinuz-$kernel" ]; then
    echo "alsa-vm: no Debian kernel to boot (the package linux-image-amd64)"; exit 2
fi
for tool in qemu-system-x86_64 busybox modinfo cpio; do
    command -v $tool >/dev/null || { echo "alsa-vm: $tool is missing"; exit 2; }
done
busybox=$(command -v busybox)
file "$busybox" | grep -q 'statically linked' || { echo "alsa-vm: needs busybox-static"; exit 2; }

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/ir/{bin,dev,proc,sys,newroot,mods}
cp "$busybox" "$work/ir/bin/busybox"
# virtio and 9p, in the order they depend on each other.
mods="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p"
for m in $mods; do cp "$(modinfo -k "$kernel" -n $m)" "$work/ir/mods/"; done
printf '%q ' "$@" >"$out/vm.command"
# The VM's /tmp, /run, /root and /var/tmp are its own; a checkout in one of them is
# shown there too.
share=""
top=$(cd "$(dirname "$0")/.." && pwd)
case $top in /tmp/* | /run/* | /root/* | /var/tmp/*) share=$top ;; esac
cat >"$work/ir/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in $mods; do insmod /mods/\$m.ko; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 root /newroot || { echo "alsa-vm: cannot mount the root"; poweroff -f; }
mount -t proc proc /newroot/proc; mount -t sysfs sys /newroot/sys; mount -t devtmpfs dev /newroot/dev
ln -sf /proc/self/fd /newroot/dev/fd; mkdir -p /newroot/dev/pts /newroot/dev/shm; mount -t devpts devpts /newroot/dev/pts; mount -t tmpfs shm /newroot/dev/shm
mount --bind /newroot /newroot/media
for d in tmp run root var/tmp; do mount -t tmpfs tmpfs /newroot/\$d; done
for d in $share; do mkdir -p /newroot\$d; mount --bind /newroot/media\$d /newroot\$d; done
mkdir -p /newroot$out 2>/dev/null
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out /newroot$out
chroot /newroot /bin/bash -c 'modprobe snd-seq && modprobe snd-seq-dummy && modprobe snd-virmidi midi_devs=2 || echo "alsa-vm: the sequencer modules did not load"; cd /tmp; export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root; bash -c "\$(cat $out/vm.command)" >$out/vm.out 2>&1; echo \$? >$out/vm.rc'
sync; poweroff -f
INIT
chmod +x "$work/ir/init"
(cd "$work/ir" && find . | cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initrd.gz")
rm -f "$out/vm.rc" "$out/vm.out"
timeout "${VM_TIMEOUT:-900}" qemu-system-x86_64 -accel tcg -cpu max -smp 2 -m 4096 \
    -nographic -no-reboot -kernel "/boot/vmlinuz-$kernel" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 quiet panic=-1" \
    -virtfs local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="$out",mount_tag=out,security_model=none >"$work/console.log" 2>&1 || true
if [ ! -f "$out/vm.rc" ]; then
    echo "alsa-vm: the command did not finish; the machine's console said:"
    tail -20 "$work/console.log"
    exit 3
fi
exit "$(cat "$out/vm.rc")"
