#!/usr/bin/env bash
# The end-to-end tests on the kernel's ALSA sequencer, in a virtual machine
# (scripts/alsa-vm.sh). tests/alsa_vm_test.sh BUILD_DIR
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$top/scripts/alsa-vm.sh" "$out" bash "$top/tests/alsa_e2e.sh" "$build/cli/halden" \
    "$build/ui/qt/halden-gui" "$top/examples" "$build/web/site"
rc=$?
[ -f "$out/vm.out" ] && cat "$out/vm.out"
[ $rc -eq 2 ] && echo "The ALSA sequencer tests did not run: this machine cannot start their virtual machine."
exit $rc
