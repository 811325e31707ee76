#!/usr/bin/env bash
# The halden command line end to end on the built-in simulator (real clock, kept short
# with --baud 0 and small images): its arguments, words, exit statuses, JSON, signals;
# and halden-gui's, where it is built.
# cli_test.sh HALDEN EXAMPLES [HALDEN_GUI]
set -u
halden=$(realpath "$1")
examples=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/e2e_lib.sh"
# Updates are recorded here rather than in the history of whoever runs the tests.
export XDG_STATE_HOME=$work/state
# "No MIDI system" is JACK asked for a server of our own that never runs.
export JACK_DEFAULT_SERVER=halden-cli-none-$$ JACK_NO_START_SERVER=1
v14=$examples/halden-1.4.hfi v15=$examples/halden-1.5.hfi
sim=(--simulate --baud 0)

# A silent Halden is given up on after the real connect timeout (30 s), so that run
# starts now, beside the rest, and is checked in its place below. It writes where its
# table's row reads, under the row's name.
"$halden" update "$v15" "${sim[@]}" --sim-silent >/dev/null 2>"$work/a silent Halden" </dev/null &
silent_update=$!
# So does an update whose sixth message (block 1) has its reply lost once, after the erase:
# the block's timeout (10 s), then the update again from the handshake.
"$halden" update "$v15" "${sim[@]}" --sim-lose-reply 6 --retries 1 --history "$work/retried.log" \
    >/dev/null 2>"$work/retried.err" </dev/null &
retried=$!

cp "$v14" "$work/crc.hfi"
printf '\x00' | dd of="$work/crc.hfi" bs=1 seek=100 conv=notrunc status=none

(cd "$examples" && "$halden" pack "$work/again.hfi" --control 1 --delay 5 \
    --area firmware-1.5.bin:1.5 >/dev/null) && cmp -s "$work/again.hfi" "$v15"
check "pack reproduces the sample" 0 $?
printf '\x01\x02\xf7' >"$work/high.bin"

expect "info lists the records" 0 'area +length 16384, version 1\.5' "$halden" info "$v15"

"$halden" update "$v14" "${sim[@]}" <<<"y" >"$work/out" 2>&1
check "the question is asked on the terminal" 0 $? "$work/out" 'Update anyway\? \[y/N\] y'
# An older image than the Halden runs: only --yes installs it.
"$halden" update "$v14" "${sim[@]}" --sim-version 1.5 <<<"y" >"$work/out" 2>&1
check "a y on the terminal does not install it" 5 $? "$work/out" 'Nothing was changed'

# After a failure: the status's text, then the Halden's state and what next.
left="The Halden's firmware area is now erased and not completely written, so the instrument needs this update to complete before it works again."
erased="$left"$'\n\n'"Before you update again, check the MIDI cable or interface and its power, try another port, close any other program that sends to this port, and keep the instrument switched on."
faulty="$left"$'\n\n'"The Halden itself reported the fault. Update again with this image; if the same fault comes back, the Halden needs service."
nothing="Nothing was changed: the Halden's firmware is as it was."
silent="$nothing Check that the two ports chosen are the ones the Halden is connected to, that the MIDI cables run both ways between the interface and the instrument, and that the instrument is switched on."
while IFS='|' read -r name want image options first next; do
    pid=$silent_update
    # shellcheck disable=SC2086
    [ "$options" = --sim-silent ] ||
        { "$halden" update "$examples/$image" "${sim[@]}" $options >/dev/null 2>"$work/$name" </dev/null & pid=$!; }
    wait "$pid"
    rc=$?
    # The status text first, then the rest; a question asked may come before them.
    expected=$(printf '%s\n\n%s' "$first" "${next:+${!next}}")
    said=$(cat "$work/$name")
    [[ "$said" == "$expected" || "$said" == *$'\n'"$expected" ]] || rc="$rc, other words"
    check "$name" "$want" "$rc" "$work/$name"
done <<'EOF2'
a fault of the Halden's own|14|halden-1.5.hfi|--sim-block-result 1=6|MIDI Reports chip programming fault|faulty
a failure past the erase|11|halden-1.5.hfi|--sim-block-result 3=1|MIDI Reports bad checksum|erased
too many blocks, nothing more to say|18|halden-1.5.hfi|--sim-block-size 1|The Halden's block size is too small for an area of this image; nothing was erased|
a No before the erase|5|halden-1.4.hfi|--no|Operation canceled|nothing
a silent Halden|7|halden-1.5.hfi|--sim-silent|MIDI Response timeout|silent
EOF2

wait "$retried"
rc=$?
grep -Fxq "Attempt 1 of 2 failed (MIDI Response timeout); the Halden is waiting for the update, which starts again from the handshake." "$work/retried.err" &&
    grep -Fxq "Attempt 2 of 2 succeeded." "$work/retried.err" || rc="$rc, other words"
[ "$(cut -f11 "$work/retried.log" | paste -sd' ')" = "7 0" ] || rc="$rc, not one history line an attempt"
grep -q "Connecting\|Updating Halden area" "$work/retried.err" && rc="$rc, progress drawn, though not to a terminal"
check "a reply lost after the erase: the update starts again and succeeds, no progress drawn" 0 "$rc" "$work/retried.err"

# Where the link's speed is known, the time is told before anything is erased; after
# the update, the identity read back.
"$halden" update "$v15" --simulate --baud 3125000 --sim-version-after 1.4 --trace >"$work/out" 2>/dev/null
printf 'about 2 s for 16.0 KiB in 129 blocks\nHalden serial #: 000a7f100102\nCurrent Halden version #: 1.4\n' |
    cmp -s - <(grep -v ' [<>] F0' "$work/out")
rc=$?
sed -n '/^about 2 s/,$p' "$work/out" | grep -q ' > F0 41 10 4B 39 13 ' || rc="$rc, not told before the erase"
check "the time told before the erase, the identity read back shown" 0 "$rc" "$work/out"

# --json: one JSON object on standard output, and nothing else there, for every verb
# and every failure; the exit status as without it. (jq: scripts/install-deps.sh)
while IFS='|' read -r name want args filter; do
    eval "\"\$halden\" $args --json" >"$work/$name" 2>/dev/null </dev/null
    rc=$?
    jq -e ". as \$r | (.exitStatus == $want) and ($filter)" "$work/$name" >/dev/null 2>&1 || rc="$rc, not the JSON expected"
    check "--json: $name" "$want" "$rc" "$work/$name"
done <<'EOF2'
check, valid|0|check "$v15"|.ok and .bytes == 16397 and .records == 3 and .areas == 1 and .areaBytes == 16384
check, missing file|1|check "$work/missing.hfi"|(.ok | not) and .error.status == 1 and (.error.text | startswith("Can't open file"))
info|0|info "$v15"|.records == [{"type":"control","code":1},{"type":"delay","tenths":5},{"type":"area","bytes":16384,"version":"1.5"}] and .checksum.stored == .checksum.computed
info, damaged|2|info "$work/crc.hfi"|.checksum.stored != .checksum.computed and .error.status == 2
ports, no MIDI system|1|ports --midi-system jack|.outputs == [] and .inputs == [] and .error.status == 16 and ([.systems[].name] == ["alsa","jack"]) and .systems[1] == {"name":"jack","label":"JACK","available":false,"why":"no server is running"}
identify|0|identify --simulate --baud 0|.identity == {"serial":"000a7f100102","version":"1.4","imageStatus":0,"blockSize":128}
update|0|update "$v15" --simulate --baud 0|.ok and .erased and .identity.version == "1.5" and .estimate.from == "first blocks" and .history.written and (has("attempts") | not)
update, history not written|0|update "$v15" --simulate --baud 0 --history "$work"|.ok and .history.written == false and .history.file == $r.history.file and (.history.error | length > 0)
update, not proven|20|update "$v15" --simulate --baud 0 --sim-version-after 1.4|.identity.version == "1.4" and (.error.text | startswith("The Halden reports version 1.4"))
update, failure past the erase, tried up to --retries times|11|update "$v15" --simulate --baud 0 --sim-block-result 3=1 --retries 2|.erased and .identity.serial == "000a7f100102" and .versionBefore == "1.4" and .error.status == 11 and (.error.advice | startswith("The Halden's firmware area is now erased")) and (.attempts | map(.status)) == [11, 11, 11]
update, port fails, not tried again|1|update "$v15" --simulate --baud 0 --sim-port-fails-after 8 --retries 2|.error.status == 16 and (.error.text | contains("has gone away")) and (.attempts | map(.status)) == [16]
a command line not understood|64|check|.error.status == 64 and (.error.text | startswith("The command line is not understood: ")) and (.error.text | contains("FILE"))
scan, no MIDI system|1|scan --midi-system jack|.error.status == 16 and (.error.text | startswith("No MIDI input buses"))
EOF2

# Each command line: its exit status and words. Unnamed, a bad option value: a usage error
# (64) that says what is wrong, before any file is written or port touched.
while IFS='|' read -r name want pattern args; do
    pattern=${pattern//\$work/$work}
    eval "expect \"\${name:-refused: \$args}\" \${want:-64} \"\$pattern\" \"\$halden\" $args"
done <<'EOF2'
update --help tells the exit statuses|0|^Exit status: 0 success, 1 a file or MIDI port that fails|update --help
check a valid sample says what it found|0|halden-1.5.hfi: a valid image of 16397 bytes, 3 records, 1 area with 16384 bytes to write$|check "$v15"
an unknown command is named|64|^halden: there is no command "frob"; the commands are check, info, pack|frob
pack refuses data bytes of 0x80 and above|1|0x80 or above|pack "$work/high.hfi" --area "$work/high.bin"
pack into a folder that is not there|1|^Can't write file $work/missing/folder/x.hfi: there is no folder $work/missing/folder$|pack "$work/missing/folder/x.hfi" --control 1
ports lists the MIDI systems|1|^  jack: JACK, not available here: no server is running$|ports --midi-system jack
--yes writes an up-to-date image anyway|0|successfully updated|update "$v14" "${sim[@]}" --yes
an older image is refused without --yes|5|^The Halden runs version 1\.5, and this image holds the older version 1\.4\. Updating replaces the newer firmware with the older one\. Update anyway\? No \(only --yes installs an older image\)$|update "$v14" "${sim[@]}" --sim-version 1.5
--yes installs it|0|^Current Halden version #: 1\.4$|update "$v14" "${sim[@]}" --sim-version 1.5 --yes
a folder is not a history|1|^Can't read the update history .*: it is a folder$|history --history "$work"
||serial byte|update "$v14" --simulate --sim-serial 0102030405ff
||--serial: a serial number is 12 hex digits, as halden scan shows|update "$v14" --simulate --serial 12345
||--simulate excludes --all|update "$v14" --simulate --all
||"99999999999999999999" is not a whole number from 0 to 16383|update "$v14" --simulate --sim-block-result 99999999999999999999=1
||"128" is not a whole number from 0 to 127|update "$v14" --simulate --sim-block-result 3=128
||takes BLOCK=RESULT|update "$v14" --simulate --sim-block-result 3
||--sim-answer-from: "0" is not a whole number from 1|update "$v14" --simulate --sim-answer-from 0
||--nonsense|update "$v14" --simulate --nonsense
||--retries: Value -1 not in range 0 to 100|update "$v14" --simulate --retries -1
||--retries: Value 101 not in range 0 to 100|update "$v14" --simulate --retries 101
||--delay: Value 256 not in range|pack "$work/bad.hfi" --delay 256
||--area: a version is MAJOR.MINOR, each 0 to 127: "1.99999"|pack "$work/bad.hfi" --area "$examples/firmware-1.5.bin:1.99999"
||^--midi-system: "foo" is not a MIDI system of this build \(it has|identify --midi-system foo
||"foo" is not a MIDI system of this build|simulate --midi-system foo
||--out requires --in|identify --out 1
EOF2
holds "a pack refused writes nothing, nor the folder it needs" \
    test ! -e "$work/bad.hfi" -a ! -e "$work/high.hfi" -a ! -e "$work/missing"
# halden-gui's is read before any window exists: its help needs no display.
if [ -n "${3:-}" ]; then
    gui=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$(realpath "$3")")
    expect "halden-gui --help without a display" 0 '--simulate' "${gui[@]}" --help
    expect "halden-gui --version without a display" 0 '^halden-gui [0-9]+\.[0-9]+\.[0-9]+$' "${gui[@]}" --version
    expect "halden-gui: an unknown option" 64 'nonsense' "${gui[@]}" --nonsense
    expect "halden-gui: an unknown MIDI system" 64 '^--midi-system: "foo" is not a MIDI system of this build' \
        "${gui[@]}" --midi-system foo
fi

# Output nobody reads any more does not stop the update half-way: it completes.
"$halden" update "$v15" "${sim[@]}" --yes --trace 2>&1 | head -20 >/dev/null
check "a closed output pipe does not end the update" 0 "${PIPESTATUS[0]}"

# Ctrl-C, a hang-up and a polite kill while the blocks are written: each stops the
# update with "Operation canceled" after the message in flight, and nothing more is sent.
for signal in INT TERM HUP; do
    cut_short 'kill -"$signal" $update_pid' "$block" "$v15" --simulate
    [ "$(sed -n '/Operation canceled/,$p' "$work/out" | grep -c ' > ')" = 0 ] || rc="$rc, sent after"
    check "SIG$signal cancels, nothing sent after" 5 "$rc" "$work/out" '^Operation canceled$'
done

# The history: every update above, in order, each with its result; a line cut off by a
# crash is left out and said to be.
history=$XDG_STATE_HOME/halden/history.log
updates=$(grep -c . "$history")
expect "history lists the updates" 0 '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} UTC  000a7f100102  1\.4 -> 1\.5  ok  [0-9.]+ s  halden-1\.5\.hfi \(0xEBB0\)  halden [0-9.]+, built-in simulator: Halden Simulator / Halden Simulator$' \
    "$halden" history
holds "... one line each, and more than 20" test "$(grep -c . "$work/out")" = "$updates" -a "$updates" -gt 20
holds "... the failures too" grep -Fq '  1.4 -> -  11 MIDI Reports bad checksum  ' "$work/out"
printf '2026-12-08T06:50:01Z\thalden' >>"$history"
expect "a cut-off line is left out and said to be" 0 '^1 line is not a whole entry' "$halden" history
holds "... the others listed" test "$(grep -c . "$work/out")" = $((updates + 1))  # and that line
holds "--json: history" jq -e --argjson n "$updates" '(.entries | length) == $n and .damagedLines == 1 and
    (.entries | map(select(.status == 11)) | length) > 0' <("$halden" history --json 2>/dev/null)

finish
