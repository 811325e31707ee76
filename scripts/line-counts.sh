#!/usr/bin/env bash
# line-counts.sh: lines of code and of tests, per folder: the lines of the files git
# knows that are neither blank nor only a comment (// and /* */ in C++, # in shell and
# CMake; the tests' JS as C++). The code is the product's C++, its scripts, packaging and
# CMake; the web page's JS is counted apart, not in it. Ends with the tests' share.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {  # count REGEX [EXCLUDED]: the lines of the matching files
    local files
    files=$(git ls-files | grep -E "$1" | grep -Ev "${2:-^$}" || true)
    [ -n "$files" ] || { echo 0; return; }
    # shellcheck disable=SC2086
    awk '
        FNR == 1 { block = 0; cxx = FILENAME ~ /\.(cpp|h|js|mjs)$/ }
        {
            line = $0
            gsub(/^[ \t]+|[ \t]+$/, "", line)
            if (line == "") next
            if (cxx) {
                if (block) { if (line ~ /\*\//) { block = 0; sub(/.*\*\//, "", line); if (line == "") next } else next }
                if (line ~ /^\/\//) next
                if (line ~ /^\/\*/) { if (line !~ /\*\//) { block = 1; next }; sub(/^\/\*.*\*\//, "", line); if (line == "") next }
            } else if (line ~ /^#/ && line !~ /^#!/) next
            n++
        }
        END { print n + 0 }' $files
}
code=0
printf '%-28s %7s\n' "code" "lines"
for folder in engine transport sim app cli ui; do
    n=$(count "^$folder/.*\.(cpp|h)$")
    code=$((code + n))
    printf '  %-26s %7d\n' "$folder (C++)" "$n"
done
# The tests' own build files are neither code nor tests.
n=$(count '^(scripts/.*\.sh|packaging/.*|.*CMakeLists\.txt|cmake/.*\.cmake)$' '^tests/')
code=$((code + n))
printf '  %-26s %7d\n' "scripts, packaging, CMake" "$n"
printf '  %-26s %7d\n' "all" "$code"
printf '  %-26s %7d\n' "(web page JS, apart)" "$(count '^(ui|transport)/.*\.(js|mjs)$')"
tests=0
printf '%-28s %7s\n' "tests" "lines"
for kind in "C++:^tests/.*\.(cpp|h)$" "shell:^tests/.*\.sh$" "other:^tests/.*\.(cmake|js|mjs|py)$"; do
    n=$(count "${kind#*:}")
    tests=$((tests + n))
    printf '  %-26s %7d\n' "${kind%%:*}" "$n"
done
printf '  %-26s %7d\n' "all" "$tests"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests / code: %.2f (the rule: 0.25 to 0.33)\n", t / c }'
