#include "cli/port_choice.h"

#include <gtest/gtest.h>

namespace halden::cli {
namespace {

const std::vector<std::string> kPorts = {"Midi Through:Port-0", "USB MIDI Interface:Port 1",
                                         "USB MIDI Interface:Port 2", "Halden Simulator"};

struct Case {
    std::string choice;
    std::optional<size_t> index;
    std::string error;  // a part of the error text, when there is no index
};

TEST(ChoosePort, ByPositionOrNamePart) {
    const std::vector<Case> cases = {
        {"1", 0, ""},
        {"4", 3, ""},
        {"0", std::nullopt, "There is no MIDI output port 0 (there are 4)."},
        {"5", std::nullopt, "There is no MIDI output port 5"},
        {"99999999999", std::nullopt, "There is no MIDI output port 99999999999"},
        {"simulator", 3, ""},
        {"HALDEN", 3, ""},
        {"port 2", 2, ""},
        {"usb", std::nullopt, "fits several MIDI output ports:\n  2: USB MIDI Interface:Port 1"},
        {"halden simulator", 3, ""},
        {"nothing", std::nullopt, "No MIDI output port is called \"nothing\""},
        {"", std::nullopt, "--out"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(choosePort(kPorts, c.choice, "output", error), c.index) << c.choice;
        if (c.index) {
            EXPECT_EQ(error, "") << c.choice;
        } else {
            ASSERT_FALSE(c.error.empty());
            EXPECT_NE(error.find(c.error), std::string::npos) << c.choice << ": " << error;
        }
    }
}

TEST(ChoosePort, AWholeNameWinsOverPartsOfOthers) {
    const std::vector<std::string> ports = {"Synth", "Synth 2"};
    std::string error;
    EXPECT_EQ(choosePort(ports, "synth", "input", error), 0u);
}

}  // namespace
}  // namespace halden::cli
