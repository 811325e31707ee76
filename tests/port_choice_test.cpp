#include "cli/port_choice.h"

#include <gtest/gtest.h>

namespace halden::cli {
namespace {

const std::vector<std::string> kPorts = {"Midi Through:Port-0", "USB MIDI Interface:Port 1",
                                         "USB MIDI Interface:Port 2", "Halden Simulator",
                                         "Halden Simulator 2"};

// The index chosen, or (when there is no index) a part of the error text.
TEST(ChoosePort, ByPositionOrNamePart) {
    const std::tuple<const char*, size_t, const char*> cases[] = {
        {"1", 0, ""},
        {"5", 4, ""},
        {"0", 0, "There is no MIDI output port 0 (there are 5)."},
        {"6", 0, "There is no MIDI output port 6"},
        {"99999999999", 0, "There is no MIDI output port 99999999999"},
        {"simulator 2", 4, ""},
        {"THROUGH", 0, ""},
        {"usb", 0, "fits several MIDI output ports:\n  2: USB MIDI Interface:Port 1"},
        {"halden simulator", 3, ""},  // a whole name wins over parts of others
        {"nothing", 0, "No MIDI output port is called \"nothing\""},
        {"", 0, "--out"},
    };
    for (const auto& [choice, index, error] : cases) {
        const Result<size_t> chosen = choosePort(kPorts, choice, "output");
        ASSERT_EQ(chosen.ok(), !*error) << choice;
        if (chosen.ok()) {
            EXPECT_EQ(*chosen, index) << choice;
            continue;
        }
        EXPECT_EQ(chosen.failure().code, status::kPortFailure) << choice;  // exit status 1
        EXPECT_NE(chosen.failure().text.find(error), std::string::npos) << chosen.failure().text;
    }
}

}  // namespace
}  // namespace halden::cli
