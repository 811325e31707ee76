#!/usr/bin/env bash
# fuzz.sh [SECONDS | -runs=N]: builds the libFuzzer targets with clang (into build-fuzz/)
# and runs each on its seed corpus (fuzz/corpus/) for SECONDS (default 60) or N runs.
# What a run finds is left as crash-* files in build-fuzz/ and makes this script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
limit=${1:-60}
case "$limit" in
-runs=*) budget=("$limit") ;;
*) budget=("-max_total_time=$limit") ;;
esac
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DHALDEN_FUZZ=ON -DHALDEN_WERROR=ON >/dev/null
cmake --build build-fuzz --parallel
for target in image receiver engine; do
    work=build-fuzz/corpus-$target
    mkdir -p "$work"
    echo "== ${target}_fuzzer (${budget[*]})"
    # New inputs go to the work folder; the committed seeds are only read.
    (cd build-fuzz && "./fuzz/${target}_fuzzer" "${budget[@]}" -print_final_stats=1 \
        "corpus-$target" "../fuzz/corpus/$target" 2>&1 | tail -n 20 | grep -E \
        'stat::number_of_executed_units|stat::average_exec_per_sec|ERROR|SUMMARY|Done|crash-')
done
