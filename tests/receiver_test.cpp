#include "engine/receiver.h"

#include <gtest/gtest.h>

#include <chrono>

#include "engine/image.h"
#include "sim/virtual_clock.h"

namespace halden {
namespace {

using namespace std::chrono_literals;

struct ReceiverRig {
    VirtualClock clock;
    CancelFlag cancel{false};
    SysExReceiver receiver{clock, cancel};

    // Reads one body; returns status and the bytes stored.
    std::pair<StatusCode, Bytes> read(size_t capacity = 78, unsigned polls = 30) {
        Bytes buffer(capacity, 0xEE);
        size_t count = 99;
        const StatusCode rc = receiver.readResponse(buffer.data(), capacity, &count, polls);
        buffer.resize(count);
        return {rc, buffer};
    }
};

struct FeedCase {
    const char* name;
    Bytes input;
    std::vector<Bytes> bodies;  // bodies then read, in order (then a timeout)
};

class ReceiverFeed : public testing::TestWithParam<FeedCase> {};

TEST_P(ReceiverFeed, QueuesExactlyTheHaldenBodies) {
    ReceiverRig rig;
    rig.receiver.feed(GetParam().input);
    for (const Bytes& expected : GetParam().bodies) {
        auto [rc, body] = rig.read();
        EXPECT_EQ(rc, 0u);
        EXPECT_EQ(body, expected);
    }
    EXPECT_EQ(rig.read().first, 7u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceiverFeed,
    testing::Values(
        FeedCase{"Plain", {0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0x00, 0xF7}, {{0x14, 0x00}}},
        FeedCase{"OtherManufacturer", {0xF0, 0x43, 0x10, 0x4B, 0x39, 0x14, 0x00, 0xF7}, {}},
        FeedCase{"OtherModel", {0xF0, 0x41, 0x10, 0x4B, 0x38, 0x14, 0x00, 0xF7}, {}},
        FeedCase{"SecondStartRestarts", {0xF0, 0xF0, 0x41, 0x00, 0x4B, 0x39, 0x12, 0xF7}, {{0x12}}},
        FeedCase{
            "AnyDeviceNumber", {0xF0, 0x41, 0xF7, 0x4B, 0x39, 0x16, 0x07, 0xF7}, {{0x16, 0x07}}},
        FeedCase{"EmptyBody", {0xF0, 0x41, 0x10, 0x4B, 0x39, 0xF7}, {{}}},
        FeedCase{"StartInsideBodyIsData",
                 {0xF0, 0x41, 0x10, 0x4B, 0x39, 0x16, 0xF0, 0xF7},
                 {{0x16, 0xF0}}},
        FeedCase{"StatusByteDropsUnfinishedBody",
                 {0xF0, 0x41, 0x10, 0x4B, 0x39, 0x12, 0x01, 0x02, 0x90, 0x3C, 0x40, 0xF0, 0x41,
                  0x10, 0x4B, 0x39, 0x14, 0x00, 0xF7},
                 {{0x14, 0x00}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Receiver, CutOffBodyAlreadyPartlyReadIsDropped) {
    ReceiverRig rig;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x12, 0x01, 0x02});
    // The reader takes the partial body, then the message is cut off while it waits.
    rig.clock.at(50ms, [&] {
        rig.receiver.feed(Bytes{0x90, 0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0x00, 0xF7});
    });
    auto [rc, body] = rig.read();
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(body, (Bytes{0x14, 0x00}));
}

TEST(Receiver, FullQueueKeepsTheLast49Bytes) {
    ReceiverRig rig;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39});
    Bytes body;
    for (int i = 0; i < 60; ++i) body.push_back(static_cast<uint8_t>(i));
    rig.receiver.feed(body);
    EXPECT_EQ(rig.receiver.queued(), 49u);
    auto [rc, got] = rig.read(100, 49);
    EXPECT_EQ(rc, 7u);
    EXPECT_EQ(got, Bytes(body.begin() + 11, body.end()));
}

TEST(Receiver, EmptyQueueTimesOutAfterItsBudget) {
    ReceiverRig rig;
    EXPECT_EQ(rig.read(78, 30).first, 7u);
    EXPECT_EQ(rig.clock.now(), 3000ms);
}

TEST(Receiver, CancelReturnsAtOnce) {
    ReceiverRig rig;
    rig.cancel = true;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0xF7});
    EXPECT_EQ(rig.read().first, 5u);
    EXPECT_EQ(rig.clock.now(), 0ms);
}

TEST(Receiver, CancelDuringAWaitEndsTheRead) {
    ReceiverRig rig;
    rig.clock.at(1234ms, [&] { rig.cancel = true; });
    EXPECT_EQ(rig.read().first, 5u);
    EXPECT_LE(rig.clock.now(), 1300ms);
}

TEST(Receiver, CapacityBoundsTheBody) {
    const Bytes header{0xF0, 0x41, 0x10, 0x4B, 0x39};
    for (size_t length : {29u, 30u}) {
        ReceiverRig rig;
        rig.receiver.feed(header);
        rig.receiver.feed(Bytes(length, 0x22));
        rig.receiver.feed(Bytes{0xF7});
        Bytes buffer(30, 0xEE);
        size_t count = 0;
        const StatusCode rc = rig.receiver.readResponse(buffer.data(), 30, &count, 88);
        if (length == 29) {
            EXPECT_EQ(rc, 0u);
            EXPECT_EQ(count, 29u);
            EXPECT_EQ(buffer[29], 0);
        } else {
            EXPECT_EQ(rc, 6u);
            EXPECT_EQ(count, 30u);
            EXPECT_EQ(rig.receiver.queued(), 1u);  // the 0xF7 is left for the next read
        }
    }
}

TEST(Receiver, CountMayBeOmitted) {
    ReceiverRig rig;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0x01, 0xF7});
    uint8_t buffer[30];
    EXPECT_EQ(rig.receiver.readResponse(buffer, sizeof buffer, nullptr, 88), 0u);
    EXPECT_EQ(buffer[1], 0x01);
}

// Every poll takes one byte or waits once, so a 20-byte reply (21 items with the 0xF7)
// fits a 30-poll budget only when at most 9 polls were spent waiting for it.
TEST(Receiver, PollBudgetCountsWaitsAndBytes) {
    Bytes reply{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x12};
    reply.resize(25, 0x01);
    reply.push_back(0xF7);
    for (auto [arrival, expected] : {std::pair{850ms, 0u}, {950ms, 7u}}) {
        ReceiverRig rig;
        rig.clock.at(arrival, [&] { rig.receiver.feed(reply); });
        auto [rc, body] = rig.read(78, 30);
        EXPECT_EQ(rc, expected) << arrival.count();
        if (rc == 7u) {
            EXPECT_EQ(rig.receiver.queued(), 1u);
        }
    }
}

TEST(Receiver, ByteArrivalEndsAWaitEarly) {
    ReceiverRig rig;
    rig.clock.at(3ms, [&] { rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x16, 0xF7}); });
    EXPECT_EQ(rig.read().first, 0u);
    EXPECT_EQ(rig.clock.now(), 3ms);
}

TEST(Receiver, ResetEmptiesQueueAndState) {
    ReceiverRig rig;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0xF7, 0xF0, 0x41, 0x10, 0x4B});
    rig.receiver.reset();
    rig.receiver.feed(Bytes{0x39, 0x16, 0xF7});
    EXPECT_EQ(rig.read().first, 7u);
}

TEST(Receiver, PortFailureEndsReadsAtOnce) {
    ReceiverRig rig;
    rig.clock.at(500ms, [&] { rig.receiver.failPort("gone"); });
    EXPECT_EQ(rig.read().first, 16u);
    EXPECT_EQ(rig.clock.now(), 500ms);
    EXPECT_EQ(rig.receiver.portFailure(), "gone");
}

}  // namespace
}  // namespace halden
