#include <gtest/gtest.h>

#include "rig.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::Rig;

// Sends one message to the simulator and returns the body of its reply.
Bytes roundTrip(Rig& rig, const Bytes& message) {
    if (rig.link.sendSysEx(message) != 0) return {};
    uint8_t body[50];
    size_t count = 0;
    if (rig.receiver.readResponse(body, sizeof body, &count, 100) != 0) return {};
    return Bytes(body, body + count);
}

TEST(SimulatedHalden, ChecksEveryBlockWrite) {
    Rig rig;
    // Not erased yet: nothing can be programmed.
    EXPECT_EQ(roundTrip(rig, blockWrite(0, Bytes{1})), (Bytes{0x16, 6}));
    EXPECT_EQ(roundTrip(rig, eraseRequest(0)), (Bytes{0x14, 0}));
    EXPECT_EQ(rig.halden.imageStatus(), 1);

    Bytes badSum = blockWrite(0, Bytes{1, 2});
    badSum[badSum.size() - 2] ^= 1;
    EXPECT_EQ(roundTrip(rig, badSum), (Bytes{0x16, 1}));
    Bytes badLength = blockWrite(0, Bytes{1, 2});
    badLength[9] = 3;
    EXPECT_EQ(roundTrip(rig, badLength), (Bytes{0x16, 2}));
    EXPECT_EQ(roundTrip(rig, blockWrite(0, Bytes(129, 1))), (Bytes{0x16, 2}));  // > block size
    EXPECT_EQ(roundTrip(rig, blockWrite(1, Bytes{1})), (Bytes{0x16, 3}));       // out of order

    EXPECT_EQ(roundTrip(rig, blockWrite(0, Bytes{5, 9, 1})), (Bytes{0x16, 0}));
    EXPECT_EQ(rig.halden.imageStatus(), 1);  // not closed yet
    EXPECT_EQ(roundTrip(rig, blockWrite(1, {})), (Bytes{0x16, 0}));
    EXPECT_EQ(rig.halden.imageStatus(), 0);
    EXPECT_EQ(rig.halden.version(), (Version{5, 9}));
    EXPECT_EQ(rig.halden.memory(), (Bytes{5, 9, 1}));
    EXPECT_EQ(roundTrip(rig, eraseRequest(1)), (Bytes{0x14, 1}));  // only area 0 exists
}

// The identity reply, byte by byte as the Halden sends it; other lengths are the same
// bytes cut or padded with zeros.
TEST(SimulatedHalden, AnswersIdentityWithTheExactBytes) {
    const Bytes full{0x12, 1, 1, 4, 0,    0,    0,    0x02, 0x05, 0,
                     0,    0, 0, 0, 0x00, 0x0a, 0x7f, 0x10, 0x01, 0x02};
    for (size_t length : {20u, 9u, 24u}) {
        Rig rig([&](SimOptions& o) {
            o.blockSize = 261;  // 14-bit: 0x02 0x05
            o.imageStatus = 1;
            o.identityBodyLength = length;
        });
        Bytes expected = full;
        expected.resize(length, 0);
        EXPECT_EQ(roundTrip(rig, identityRequest()), expected) << length;
    }
}

// It counts every message it receives, answered or not, and keeps the messages themselves
// only when asked (the built-in simulator runs as long as the app: a soak run found it
// growing by every one).
TEST(SimulatedHalden, RecordsEveryMessageOnlyWhenAsked) {
    Rig rig([&](SimOptions& o) { o.answerFrom = 2; });
    EXPECT_EQ(roundTrip(rig, identityRequest()), Bytes{});
    EXPECT_EQ(roundTrip(rig, identityRequest()).size(), 20u);
    EXPECT_EQ(rig.halden.received(), (std::vector<Bytes>{identityRequest(), identityRequest()}));
    VirtualClock clock;
    SimulatedHalden unrecorded(SimOptions{}, clock, clock, [](ByteView) {});
    for (int i = 0; i < 3; ++i) unrecorded.receive(identityRequest());
    EXPECT_EQ(unrecorded.receivedCount(), 3u);
    EXPECT_TRUE(unrecorded.received().empty());
}

}  // namespace
}  // namespace halden
