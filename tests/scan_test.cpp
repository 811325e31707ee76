#include "cli/scan.h"

#include <gtest/gtest.h>

namespace halden::cli {
namespace {

// The names MIDI systems give one interface's two ports, and names that must not pair.
TEST(PortPairs, NamesOfOneInterfaceMatch) {
    struct Case {
        const char* output;
        const char* input;
        bool pair;
    };
    const Case cases[] = {
        {"UM-ONE:UM-ONE MIDI 1 24:0", "UM-ONE:UM-ONE MIDI 1 24:0", true},  // ALSA
        {"Halden A:Halden A", "Halden A-01:Halden A", true},               // JACK, two clients
        {"Bench Halden 2:Bench Halden 2", "Bench Halden 2-39:Bench Halden 2", true},  // PipeWire
        {"MIDIOUT2 (UM-ONE)", "MIDIIN2 (UM-ONE)", true},                              // Windows
        {"USB MIDI Out", "USB MIDI In", true},
        {"Keystation Output", "Keystation Input", true},
        {"UM-ONE", "um-one", true},
        {"Halden A:Halden A", "Halden B-01:Halden B", false},
        {"Halden 1:Halden 1", "Halden 10-01:Halden 10", false},
        {"MIDIOUT2 (UM-ONE)", "MIDIIN3 (UM-TWO)", false},
        {"Out", "In", false},  // nothing left to match
        {"Midi Through:Midi Through Port-0 14:0", "Midi Through:Midi Through Port-0 14:0", true},
    };
    for (const Case& c : cases) {
        PortNames names;
        names.outputs = {{c.output, 0}};
        names.inputs = {{c.input, 0}};
        EXPECT_EQ(matchingPairs(names).size(), c.pair ? 1u : 0u) << c.output << " / " << c.input;
    }
}

TEST(PortPairs, EveryMatchInListOrder) {
    PortNames names;
    names.outputs = {{"B:B", 0}, {"A:A", 1}, {"Other", 2}};
    names.inputs = {{"A-01:A", 0}, {"B-01:B", 1}, {"B-02:B", 2}};
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const PortPair& p : matchingPairs(names)) pairs.emplace_back(p.output, p.input);
    EXPECT_EQ(pairs, (decltype(pairs){{"B:B", "B-01:B"}, {"B:B", "B-02:B"}, {"A:A", "A-01:A"}}));
}

// The input that carried the answer is the output's partner; where several did (a port
// and its bridge), the one whose name matches.
TEST(ScanPartner, TheInputThatAnswered) {
    struct Case {
        const char* output;
        std::vector<std::string> answered;
        const char* partner;
    };
    const Case cases[] = {
        {"RtMidiIn Client:Peer Halden",
         {"RtMidiOut Client:Peer Halden"},
         "RtMidiOut Client:Peer Halden"},
        {"Bench Halden 2:Bench Halden 2",
         {"Bench Halden 2-02:Bench Halden 2"},
         "Bench Halden 2-02:Bench Halden 2"},
        {"UM-ONE:UM-ONE MIDI 1 24:0",
         {"a2j:UM-ONE [24] (capture)", "UM-ONE:UM-ONE MIDI 1 24:0"},
         "UM-ONE:UM-ONE MIDI 1 24:0"},
        {"system:midi_playback_1",
         {"system:midi_capture_1", "system:midi_capture_2"},
         "system:midi_capture_1"},
        {"Halden A:Halden A", {}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(choosePartner(c.output, c.answered), c.partner) << c.output;
}

}  // namespace
}  // namespace halden::cli
