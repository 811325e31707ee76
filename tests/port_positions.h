// The stored positions alone, as the settings tests check them.
#pragma once

#include <utility>

#include "app/port_settings.h"

namespace halden::test {

inline bool loadPositions(PortSettings& settings, int& in, int& out) {
    PortChoice choice{in, out, {}, {}};
    const bool loaded = settings.load(choice);
    in = choice.input;
    out = choice.output;
    return loaded;
}
inline bool loadPositions(PortSettings&& settings, int& in, int& out) {
    return loadPositions(settings, in, out);
}

}  // namespace halden::test
