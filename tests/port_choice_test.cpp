#include "cli/port_choice.h"

#include <gtest/gtest.h>

namespace halden::cli {
namespace {

const std::vector<std::string> kPorts = {"Midi Through:Port-0", "USB MIDI Interface:Port 1",
                                         "USB MIDI Interface:Port 2", "Halden Simulator",
                                         "Halden Simulator 2"};

struct Case {
    std::string choice;
    std::optional<size_t> index;
    std::string error;  // a part of the error text, when there is no index
};

TEST(ChoosePort, ByPositionOrNamePart) {
    const std::vector<Case> cases = {
        {"1", 0, ""},
        {"5", 4, ""},
        {"0", std::nullopt, "There is no MIDI output port 0 (there are 5)."},
        {"6", std::nullopt, "There is no MIDI output port 6"},
        {"99999999999", std::nullopt, "There is no MIDI output port 99999999999"},
        {"simulator 2", 4, ""},
        {"THROUGH", 0, ""},
        {"port 2", 2, ""},
        {"usb", std::nullopt, "fits several MIDI output ports:\n  2: USB MIDI Interface:Port 1"},
        {"halden simulator", 3, ""},  // a whole name wins over parts of others
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
            EXPECT_EQ(chosen.failure().code, status::kPortFailure) << c.choice;  // exit status 1
            const std::string& error = chosen.failure().text;
            EXPECT_NE(error.find(c.error), std::string::npos) << c.choice << ": " << error;
        }
    }
}

}  // namespace
}  // namespace halden::cli
