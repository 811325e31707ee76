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

TEST(Receiver, QueuesExactlyTheHaldenBodies) {
    struct Case {
        const char* name;
        Bytes input;
        std::vector<Bytes> bodies;  // bodies then read, in order (then a timeout)
    };
    const std::vector<Case> cases = {
        {"plain", {0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0x00, 0xF7}, {{0x14, 0x00}}},
        {"other maker", {0xF0, 0x43, 0x10, 0x4B, 0x39, 0x14, 0x00, 0xF7}, {}},
        {"other model", {0xF0, 0x41, 0x10, 0x4B, 0x38, 0x14, 0x00, 0xF7}, {}},
        {"a second start restarts", {0xF0, 0xF0, 0x41, 0x00, 0x4B, 0x39, 0x12, 0xF7}, {{0x12}}},
        {"any device number", {0xF0, 0x41, 0xF7, 0x4B, 0x39, 0x16, 0x07, 0xF7}, {{0x16, 0x07}}},
        {"a start in the header restarts",
         {0xF0, 0x41, 0x10, 0x4B, 0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0xF7},
         {{0x14}}},
        {"... even a start", {0xF0, 0x41, 0xF0, 0x4B, 0x39, 0x16, 0xF7}, {{0x16}}},
        {"... but no other status", {0xF0, 0x41, 0x90, 0xF8, 0x4B, 0x39, 0x16, 0xF7}, {}},
        {"empty body", {0xF0, 0x41, 0x10, 0x4B, 0x39, 0xF7}, {{}}},
        {"a start in the body is data",
         {0xF0, 0x41, 0x10, 0x4B, 0x39, 0x16, 0xF0, 0xF7},
         {{0x16, 0xF0}}},
        {"a status byte drops the unfinished body",
         {0xF0, 0x41, 0x10, 0x4B, 0x39, 0x12, 0x01, 0x02, 0x90, 0x3C, 0x40, 0xF0, 0x41, 0x10, 0x4B,
          0x39, 0x14, 0x00, 0xF7},
         {{0x14, 0x00}}},
    };
    for (const Case& c : cases) {
        ReceiverRig rig;
        rig.receiver.feed(c.input);
        for (const Bytes& expected : c.bodies) EXPECT_EQ(rig.read(), std::pair(0u, expected));
        EXPECT_EQ(rig.read().first, 7u) << c.name;
    }
}

TEST(Receiver, CutOffBodyAlreadyPartlyReadIsDropped) {
    ReceiverRig rig;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x12, 0x01, 0x02});
    // The reader takes the partial body, then the message is cut off while it waits.
    rig.clock.at(50ms, [&] {
        rig.receiver.feed(Bytes{0x90, 0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0x00, 0xF7});
    });
    EXPECT_EQ(rig.read(), std::pair(0u, Bytes{0x14, 0x00}));
}

TEST(Receiver, FullQueueKeepsTheLast49Bytes) {
    ReceiverRig rig;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39});
    Bytes body;
    for (int i = 0; i < 60; ++i) body.push_back(static_cast<uint8_t>(i));
    rig.receiver.feed(body);
    EXPECT_EQ(rig.receiver.queued(), 49u);
    EXPECT_EQ(rig.read(100, 49), std::pair(7u, Bytes(body.begin() + 11, body.end())));
}

// A read of 30 polls ends at the poll after a Cancel, and at once when the port fails.
// (Its whole budget: the handshakes 3 s apart, update_test.cpp; a reply during a wait
// ends it at once: the estimate against the simulated wire, estimate_test.cpp.)
TEST(Receiver, AReadEndsAtItsBudgetOrAtOnce) {
    ReceiverRig cancelled, failed;
    cancelled.clock.at(1234ms, [&] { cancelled.cancel = true; });
    EXPECT_EQ(cancelled.read().first, 5u);
    EXPECT_GE(cancelled.clock.now(), 1234ms);
    EXPECT_LE(cancelled.clock.now(), 1300ms);
    failed.clock.at(500ms, [&] { failed.receiver.failPort("gone"); });
    EXPECT_EQ(failed.read().first, 16u);
    EXPECT_EQ(failed.clock.now(), 500ms);
    ReceiverRig rig;  // a Cancel before the read, even with a reply waiting
    rig.cancel = true;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x16, 0xF7});
    EXPECT_EQ(rig.read().first, 5u);
    rig.receiver.failPort("gone");
    EXPECT_EQ(rig.receiver.portFailure(), "gone");
}

TEST(Receiver, CapacityBoundsTheBody) {
    for (const size_t length : {29u, 30u}) {
        ReceiverRig rig;
        Bytes message{0xF0, 0x41, 0x10, 0x4B, 0x39};
        message.resize(5 + length, 0x22);
        message.push_back(0xF7);
        rig.receiver.feed(message);
        Bytes buffer(30, 0xEE);
        size_t count = 0;
        // Too long: the 0xF7 is left for the next read; fitting: the rest is zeros.
        EXPECT_EQ(rig.receiver.readResponse(buffer.data(), 30, &count, 88), length == 29 ? 0u : 6u);
        EXPECT_EQ(count, length);
        EXPECT_EQ(buffer[29], length == 29 ? 0 : 0x22);
        EXPECT_EQ(rig.receiver.queued(), length == 29 ? 0u : 1u);
    }
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
        EXPECT_EQ(rig.read(78, 30).first, expected) << arrival.count();
        EXPECT_EQ(rig.receiver.queued(), expected ? 1u : 0u);
    }
}

TEST(Receiver, ResetEmptiesQueueAndState) {
    ReceiverRig rig;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0xF7, 0xF0, 0x41, 0x10, 0x4B});
    rig.receiver.reset();
    rig.receiver.feed(Bytes{0x39, 0x16, 0xF7});
    EXPECT_EQ(rig.read().first, 7u);
}

}  // namespace
}  // namespace halden
