#include "cli/scan.h"

#include <gtest/gtest.h>

namespace halden::cli {
namespace {

// The names MIDI systems give one interface's two ports, and names that must not pair.
TEST(PortPairs, NamesOfOneInterfaceMatch) {
    const struct {
        const char *output, *input;
        bool pair;
    } cases[] = {
        {"UM-ONE:UM-ONE MIDI 1 24:0", "UM-ONE:UM-ONE MIDI 1 24:0", true},  // ALSA
        {"Halden 2:Halden 2", "Halden 2-39:Halden 2", true},  // JACK, PipeWire: two clients
        {"MIDIOUT2 (UM-ONE)", "MIDIIN2 (UM-ONE)", true},      // Windows
        {"USB MIDI Out", "USB MIDI In", true},
        {"Keystation OUTPUT", "keystation input", true},
        {"Halden A:Halden A", "Halden B-01:Halden B", false},
        {"Halden 1:Halden 1", "Halden 10-01:Halden 10", false},
        {"Out", "In", false},  // nothing left to match
    };
    for (const auto& c : cases) {
        const PortNames names{{{c.input, 0}}, {{c.output, 0}}};
        EXPECT_EQ(matchingPairs(names).size(), c.pair ? 1u : 0u) << c.output << " / " << c.input;
    }
}

}  // namespace
}  // namespace halden::cli
