// The stored positions alone, as the settings tests check them.
#pragma once

#include "app/port_settings.h"

namespace halden::test {

// Any PortSettings, a temporary one too.
template <class Settings>
bool loadPositions(Settings&& settings, int& in, int& out) {
    PortChoice choice{in, out, {}, {}};
    const bool loaded = settings.load(choice);
    in = choice.input;
    out = choice.output;
    return loaded;
}

}  // namespace halden::test
