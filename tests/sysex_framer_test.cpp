#include "transport/sysex_framer.h"

#include <gtest/gtest.h>

namespace halden {
namespace {

// A raw MIDI byte stream, cut into reads in whatever way the device hands them out, and
// the whole messages that come out of it.
TEST(SysExFramer, CutsWholeMessagesOutOfAStream) {
    struct Case {
        const char* name;
        std::vector<Bytes> reads;
        std::vector<Bytes> messages;
    };
    const std::vector<Case> cases = {
        {"one message in one read", {{0xF0, 0x41, 0x12, 0xF7}}, {{0xF0, 0x41, 0x12, 0xF7}}},
        {"split over reads",
         {{0xF0, 0x41}, {0x12}, {0x00, 0xF7, 0xF0}, {0x7F, 0xF7}},
         {{0xF0, 0x41, 0x12, 0x00, 0xF7}, {0xF0, 0x7F, 0xF7}}},
        {"clock and active sensing inside are skipped",
         {{0xF0, 0x41, 0xF8, 0x12, 0xFE, 0xF7}},
         {{0xF0, 0x41, 0x12, 0xF7}}},
        {"a note cuts an unfinished message off", {{0xF0, 0x41, 0x90, 0x3C, 0x40, 0xF7}}, {}},
        {"a new start drops the unfinished one",
         {{0xF0, 0x41, 0x12, 0xF0, 0x41, 0x13, 0xF7}},
         {{0xF0, 0x41, 0x13, 0xF7}}},
        {"bytes outside any message", {{0x90, 0x3C, 0x40, 0x01, 0xF7, 0xF8}}, {}},
        {"the smallest message", {{0xF0, 0xF7}}, {{0xF0, 0xF7}}},
    };
    for (const Case& c : cases) {
        std::vector<Bytes> got;
        SysExFramer framer([&](ByteView m) { got.emplace_back(m.begin(), m.end()); });
        for (const Bytes& read : c.reads) framer.feed(read);
        EXPECT_EQ(got, c.messages) << c.name;
    }
}

}  // namespace
}  // namespace halden
