#include "engine/sysex_decoder.h"

#include <gtest/gtest.h>

#include "transport/sysex_filter.h"
#include "transport/sysex_framer.h"

namespace halden {
namespace {

// Each byte's step: '.' outside any message, 'S' start, 'd' data, 'E' end, 'X' cut off.
// (The rules of the receiver's Halden replies: receiver_test.cpp.)
TEST(SysExDecoder, StepsThroughAStream) {
    struct Case {
        const char* name;
        Bytes input;
        const char* steps;
    };
    const std::vector<Case> cases = {
        {"one message", {0xF0, 0x41, 0x12, 0xF7}, "SddE"},
        {"the smallest message", {0xF0, 0xF7}, "SE"},
        {"two messages, bytes between", {0xF0, 0xF7, 0x01, 0xF0, 0x02, 0xF7}, "SE.SdE"},
        {"real time inside is passed over", {0xF0, 0x41, 0xF8, 0x12, 0xFE, 0xFF, 0xF7}, "Sd.d..E"},
        {"a note cuts a message off", {0xF0, 0x41, 0x90, 0x3C, 0x40, 0xF7}, "SdX..."},
        {"a system common byte cuts it off too", {0xF0, 0x41, 0xF1, 0x01, 0xF7}, "SdX.."},
        {"a new start abandons the open one", {0xF0, 0x41, 0xF0, 0x41, 0xF7}, "SdSdE"},
        {"outside any message", {0x90, 0x3C, 0x01, 0xF7, 0xF8, 0xB0}, "......"},
    };
    for (const Case& c : cases) {
        SysExDecoder decoder;
        std::string steps;
        for (const uint8_t b : c.input) steps += ".SdEX"[static_cast<int>(decoder.feed(b))];
        EXPECT_EQ(steps, c.steps) << c.name;
    }
}

TEST(SysExFramer, HandsOnWholeMessagesAndWhatWasCutOff) {
    std::vector<Bytes> whole, cut;
    SysExFramer framer([&](ByteView m) { whole.emplace_back(m.begin(), m.end()); },
                       [&](ByteView m) { cut.emplace_back(m.begin(), m.end()); });
    for (const Bytes& read : std::vector<Bytes>{{0xF0, 0x41},
                                                {0x12},
                                                {0x00, 0xF7, 0xF0},
                                                {0x7F, 0xF7, 0xF0, 0x01, 0xF0, 0x02, 0x90}}) {
        framer.feed(read);
    }
    EXPECT_EQ(whole, (std::vector<Bytes>{{0xF0, 0x41, 0x12, 0x00, 0xF7}, {0xF0, 0x7F, 0xF7}}));
    EXPECT_EQ(cut, (std::vector<Bytes>{{0xF0, 0x01}, {0xF0, 0x02}}));
}

// Messages in the order a MIDI system delivers them, and what reaches the receiver.
TEST(SysExFilter, PassesOnlySysEx) {
    struct Step {
        Bytes delivered;
        Bytes passed;
    };
    const std::vector<Step> steps = {
        {{0x90, 0x3C, 0x40}, {}},
        {{0xF0, 0x41, 0x10}, {0xF0, 0x41, 0x10}},  // a SysEx in pieces ...
        {{0x4B, 0x39}, {0x4B, 0x39}},              // ... its middle ...
        {{0x12, 0xF7}, {0x12, 0xF7}},              // ... and its end
        {{0xF0, 0x41}, {0xF0, 0x41}},
        {{0xB0, 0x07, 0x10}, {0xB0}},  // cut off: its status byte only
        {{0x05, 0xF7}, {}},            // the SysEx is over
    };
    SysExFilter filter;
    for (size_t i = 0; i < steps.size(); ++i) {
        const ByteView passed = filter.pass(steps[i].delivered);
        EXPECT_EQ(Bytes(passed.begin(), passed.end()), steps[i].passed) << "step " << i;
    }
    filter.pass(Bytes{0xF0, 0x41});
    filter.reset();  // forgets the unfinished message
    EXPECT_TRUE(filter.pass(Bytes{0x12, 0xF7}).empty());
}

}  // namespace
}  // namespace halden
