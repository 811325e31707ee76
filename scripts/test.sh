#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs every test (then the
# end-to-end tests on the kernel's ALSA sequencer, in a virtual machine), makes and
# checks the package, builds the Debian 13 and 12 ones each in a clean chroot of its
# release and installs and removes each in a fresh one, then builds again with
# AddressSanitizer and UndefinedBehaviorSanitizer and with ThreadSanitizer (unity builds)
# and runs every test in each, runs the fuzz targets for 15 s each, then cross-builds the
# Windows programs (and their zip and installer) and runs their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
# Where the time goes, in the log.
stage() { echo "== $1 (at $((SECONDS / 60))m$((SECONDS % 60))s)"; }
scripts/install-deps.sh
if command -v clang-format >/dev/null; then scripts/format.sh --check; fi
scripts/check-engine-includes.sh
# The Debian chroots are mostly downloads and unpacking: they are made while this
# machine builds, and are ready before the tests start, which they would slow.
chroots_log=$(mktemp)
scripts/debian-packages.sh --prepare >"$chroots_log" 2>&1 &
chroots=$!
# Should a stage fail, the chroots' job is stopped too (it unmounts what it mounted).
trap 'rc=$?; if [ -n "$chroots" ] && kill "$chroots" 2>/dev/null; then wait "$chroots" || true; fi; exit $rc' EXIT

stage "build"
scripts/build.sh build -DHALDEN_WERROR=ON -DHALDEN_TESTS=ON  # on after a first run.sh
stage "waiting for the Debian chroots"
prepared=0
wait "$chroots" || prepared=$?
chroots=""  # reaped: by the end its number may be another process's
[ "$prepared" -eq 0 ] || { cat "$chroots_log"; exit 1; }
stage "tests"
# -j4 on two cores: the long tests mostly wait on the real clock.
(cd build && ctest --output-on-failure --timeout 300 -j4)
# The kernel's ALSA sequencer, which this machine lacks, in a small virtual machine.
stage "ALSA sequencer, in a virtual machine"
tests/alsa_vm_test.sh build || [ $? -eq 2 ]  # 2: no VM here, which it says
# The Debian package from that build, checked and tried unpacked.
stage "package"
scripts/package.sh build
stage "Debian 13 and 12 packages, in clean chroots"
scripts/debian-packages.sh build

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
# The sanitizer builds are unity builds (a few files a compiler run): they only run the
# tests, and build in half the time. The web page is emscripten's build, which they
# do not instrument: the plain build tests it.
scripts/build.sh build-asan -DHALDEN_WERROR=ON -DHALDEN_SANITIZE=ON -DCMAKE_UNITY_BUILD=ON \
    -DHALDEN_WEB=OFF
# tests/lsan/suppressions.txt names the one library whose kept memory is not ours.
# PipeWire's runs are the JACK tests again through another server: the plain build
# runs them. The JACK test's sweep at the sizes whose buffers differ (the smallest, a
# common one, the largest JACK carries, the first it does not); the plain build runs
# every size.
(cd build-asan && LSAN_OPTIONS="suppressions=$PWD/../tests/lsan/suppressions.txt" \
    BLOCK_SIZES="1 128 8179 8180" \
    ctest --output-on-failure --timeout 300 -j4 -E '^pipewire_')

# Libraries not built with ThreadSanitizer (Qt, JACK) order their threads by means it
# cannot see; tests/tsan/suppressions.txt names exactly those.
stage "ThreadSanitizer"
scripts/build.sh build-tsan -DHALDEN_WERROR=ON -DHALDEN_TSAN=ON -DCMAKE_UNITY_BUILD=ON \
    -DHALDEN_WEB=OFF
# How threads meet does not depend on the block size: four sizes of the JACK test's
# sweep (the smallest, a common one, the largest JACK carries, the first it does not).
(cd build-tsan && TSAN_OPTIONS="suppressions=$PWD/../tests/tsan/suppressions.txt" \
    BLOCK_SIZES="1 128 8179 8180" \
    ctest --output-on-failure --timeout 300 -j4 -E '^pipewire_')

# The fuzz targets, 15 s each: some 70,000 runs of the engine's and 100,000 of the
# image's and the receiver's (20,000 runs of each missed a broken invariant that 20 s
# found). Long runs: scripts/fuzz.sh SECONDS.
stage "fuzz targets"
scripts/fuzz.sh 15

stage "Windows, under Wine"
scripts/build-windows.sh build-windows
# The package again, from a folder named absolutely, as a packager would name it.
scripts/package-windows.sh --built "$PWD/build-windows"
(cd build-windows && ctest --output-on-failure --timeout 300 -j2)
stage "all passed"
