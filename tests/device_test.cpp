#include <gtest/gtest.h>

#include "rig.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::Rig;

// The block number and the checksum in 14 bits, high part first. (The other requests'
// bytes: the reference image's update, update_test.cpp.)
TEST(Requests, BlockNumberAndChecksumIn14Bits) {
    EXPECT_EQ(blockWrite(130, Bytes{1, 2, 3}),
              (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x15, 0x01, 0x02, 0x00, 0x03, 0x01, 0x02, 0x03,
                     0x00, 0x0C, 0xF7}));
    const Bytes m = blockWrite(0, Bytes(200, 0x7F));  // 200 * 127 + 1 + 72 = 25473 = 0x6381
    ASSERT_EQ(m.size(), 213u);
    EXPECT_EQ(Bytes(m.begin() + 210, m.end() - 1), (Bytes{0x47, 0x01}));  // 0x2381 in 14 bits
}

TEST(Identity, DecodesEveryFieldOfA20ByteBody) {
    // Version 3.17, block size 133 (0x01 0x05), aux word 0x103, then the serial.
    Bytes body{0x12, 0,    3,    17, 0,    0,    0,    0x01, 0x05, 0,
               0,    0x02, 0x03, 0,  0x00, 0x0A, 0x7F, 0x10, 0x01, 0x02};
    DeviceInfo info;
    ASSERT_EQ(decodeIdentity(body, info), 0u);
    EXPECT_EQ(info.blockSize, 133);
    EXPECT_EQ(info.auxWord, 0x103);
    EXPECT_EQ(info.serialText, "000a7f100102");
    EXPECT_EQ(info.versionText, "3.17");
    body[1] = 1;  // image not verified: no version text
    ASSERT_EQ(decodeIdentity(body, info), 0u);
    EXPECT_EQ(info.versionText, "");
    EXPECT_EQ(info.serialText, "000a7f100102");
    // A body of any other length is refused without reading past it (heap buffers of the
    // exact size, so that the sanitizer build sees any read beyond).
    for (size_t length : {0u, 1u, 4u, 19u, 21u}) {
        ASSERT_EQ(decodeIdentity(body, info), 0u);
        Bytes other(length, 0x01);
        if (length > 0) other[0] = 0x12;
        EXPECT_EQ(decodeIdentity(other, info), 8u) << length;
        EXPECT_EQ(info.serialText, "") << length;
        EXPECT_EQ(info.blockSize, 0) << length;
    }
}

TEST(ReadIdentity, SkipsOtherBodiesWithAFreshBudget) {
    // A block reply arrives after 2.5 s, the identity 0.8 s later: past the first 3 s
    // budget, inside the fresh one (which its own 21 bytes share).
    Rig rig([&](SimOptions& o) { o.silent = true; });  // the test plays the device
    rig.clock.at(2500ms, [&] { rig.receiver.feed(Bytes{0xF0, 0x41, 0, 0x4B, 0x39, 0x16, 0xF7}); });
    Bytes identity{0xF0, 0x41, 0, 0x4B, 0x39, 0x12};
    identity.resize(25, 0);
    identity.push_back(0xF7);
    rig.clock.at(3300ms, [&] { rig.receiver.feed(identity); });
    EXPECT_EQ(readIdentity(rig.io, rig.info), 0u);
    EXPECT_EQ(rig.info.versionText, "0.0");
}

// What each reply body means to the erase and to a block write; a reply left from before
// the erase request is not its answer.
TEST(Replies, EraseAndBlockResults) {
    struct Case {
        bool erase;
        Bytes reply;
        StatusCode expected;
    };
    // (Each result in the reply's usual form, and a reply of the other kind: the fault
    // matrix.)
    const std::vector<Case> cases = {
        {true, {0x14}, 0},           {false, {0x16}, 0}, {false, {0x16, 0x07}, 0},
        {false, {0x16, 0x07, 0}, 8}, {false, {}, 8},
    };
    for (const auto& c : cases) {
        Rig rig([&](SimOptions& o) { o.silent = true; });
        if (c.erase) rig.receiver.feed(Bytes{0xF0, 0x41, 0, 0x4B, 0x39, 0x14, 0x01, 0xF7});
        rig.clock.at(100ms, [&] { rig.receiver.feed(protocol::frame(c.reply)); });
        EXPECT_EQ(c.erase ? eraseArea(rig.io, 0) : writeBlock(rig.io, 0, Bytes{1}), c.expected)
            << testing::PrintToString(c.reply);
    }
}

TEST(EraseArea, SilenceTimesOutAfter8800ms) {
    Rig rig([&](SimOptions& o) { o.silent = true; });
    EXPECT_EQ(eraseArea(rig.io, 0), 7u);
    EXPECT_EQ(rig.clock.now(), 8800ms + rig.halden.wireTime(8));
}

}  // namespace
}  // namespace halden
