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
        const Result<size_t> chosen = choosePort(kPorts, c.choice, "output");
        if (c.index) {
            ASSERT_TRUE(chosen.ok()) << c.choice << ": " << chosen.failure().text;
            EXPECT_EQ(*chosen, *c.index) << c.choice;
        } else {
            ASSERT_FALSE(chosen.ok()) << c.choice;
            ASSERT_FALSE(c.error.empty());
            const std::string& error = chosen.failure().text;
            EXPECT_NE(error.find(c.error), std::string::npos) << c.choice << ": " << error;
        }
    }
}

TEST(ChoosePort, AWholeNameWinsOverPartsOfOthers) {
    const std::vector<std::string> ports = {"Synth", "Synth 2"};
    const Result<size_t> chosen = choosePort(ports, "synth", "input");
    ASSERT_TRUE(chosen.ok());
    EXPECT_EQ(*chosen, 0u);
}

}  // namespace
}  // namespace halden::cli
