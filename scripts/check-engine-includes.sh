#!/usr/bin/env bash
# Fails when a file in engine/ includes anything but engine/ headers and the C++
# standard library: the engine is portable and is built and tested on its own.
set -euo pipefail
cd "$(dirname "$0")/.."
std='algorithm|any|array|atomic|bit|bitset|cassert|cctype|cerrno|charconv|chrono|cinttypes|climits|cmath|compare|concepts|condition_variable|cstdarg|cstddef|cstdint|cstdio|cstdlib|cstring|deque|exception|functional|initializer_list|iterator|limits|list|map|memory|mutex|new|numeric|optional|ranges|set|shared_mutex|span|stdexcept|string|string_view|system_error|thread|tuple|type_traits|unordered_map|unordered_set|utility|variant|vector'
bad=$(grep -HnE '^\s*#\s*include' engine/*.h engine/*.cpp |
      grep -vE "#\s*include\s+\"engine/[a-z_]+\.h\"" |
      grep -vE "#\s*include\s+<($std)>" || true)
if [ -n "$bad" ]; then
    echo "engine/ may include only engine/ headers and the standard library:"
    echo "$bad"
    exit 1
fi
echo "engine/ includes only itself and the standard library"
