#include "transport/sysex_filter.h"

#include <gtest/gtest.h>

namespace halden {
namespace {

// Messages in the order a MIDI system delivers them, and what reaches the receiver.
TEST(SysExFilter, PassesOnlySysEx) {
    struct Step {
        Bytes delivered;
        Bytes passed;
    };
    const std::vector<Step> steps = {
        {{0x90, 0x3C, 0x40}, {}},  // a note: never
        {{0xF8}, {}},              // clock: never
        {{0xF0, 0x41, 0x10, 0xF7}, {0xF0, 0x41, 0x10, 0xF7}},
        {{0xF0, 0x41, 0x10}, {0xF0, 0x41, 0x10}},  // a SysEx in pieces ...
        {{0x4B, 0x39}, {0x4B, 0x39}},              // ... its middle ...
        {{0x12, 0xF7}, {0x12, 0xF7}},              // ... and its end
        {{0x01, 0x02}, {}},                        // data outside any SysEx
        {{0xF0, 0x41}, {0xF0, 0x41}},
        {{0xB0, 0x07, 0x10}, {0xB0}},  // cut off: its status byte only
        {{0x05, 0xF7}, {}},            // the SysEx is over
        {{}, {}},
    };
    SysExFilter filter;
    for (size_t i = 0; i < steps.size(); ++i) {
        const ByteView passed = filter.pass(steps[i].delivered);
        EXPECT_EQ(Bytes(passed.begin(), passed.end()), steps[i].passed) << "step " << i;
    }
}

TEST(SysExFilter, ResetForgetsAnUnfinishedMessage) {
    SysExFilter filter;
    filter.pass(Bytes{0xF0, 0x41});
    filter.reset();
    EXPECT_TRUE(filter.pass(Bytes{0x12, 0xF7}).empty());
}

}  // namespace
}  // namespace halden
