// The Halden's messages, the receiver of its replies and the helpers that take them off
// the MIDI byte stream, and the simulated Halden.
#include <gtest/gtest.h>

#include "engine/receiver.h"
#include "rig.h"
#include "transport/alsa/wire_pacer.h"
#include "transport/sysex_filter.h"
#include "transport/sysex_framer.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::Rig;

// The block number and the checksum in 14 bits, high part first. (The other requests'
// bytes: the update of a literal image, update_test.cpp.)
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

// A block reply arrives after 2.5 s, past the first 3 s budget; the identity comes inside
// the fresh one, which its own 21 bytes share: every poll takes one byte or waits once, so
// it fits the 30 polls only when at most 9 were spent waiting for it.
TEST(ReadIdentity, SkipsOtherBodiesWithAFreshBudgetOfWaitsAndBytes) {
    Bytes identity(20, 0);
    identity[0] = 0x12;
    for (const auto& [arrival, expected] : {std::pair{3350ms, 0u}, {3450ms, 7u}}) {
        Rig rig([&](SimOptions& o) { o.silent = true; });  // the test plays the device
        rig.clock.at(2500ms, [&] { rig.receiver.feed(protocol::frame(Bytes{0x16})); });
        rig.clock.at(arrival, [&] { rig.receiver.feed(protocol::frame(identity)); });
        EXPECT_EQ(readIdentity(rig.io, rig.info), expected) << arrival.count();
        EXPECT_EQ(rig.info.versionText, expected ? "" : "0.0");
        EXPECT_EQ(rig.receiver.queued(), expected ? 1u : 0u);  // the 0xF7 not read in time
    }
}

// What each reply body means to the erase and to a block write; a reply left from before
// the erase request is not its answer.
TEST(Replies, EraseAndBlockResults) {
    // (Each result in the reply's usual form, and a reply of the other kind: the fault
    // matrix.) Whether it is the erase, the reply's body, the outcome.
    for (const auto& [erase, reply, expected] : {std::tuple{true, Bytes{0x14}, 0u},
                                                 {false, {0x16}, 0u},
                                                 {false, {0x16, 0x07}, 0u},
                                                 {false, {0x16, 0x07, 0}, 8u},
                                                 {false, {}, 8u}}) {
        Rig rig([&](SimOptions& o) { o.silent = true; });
        if (erase) rig.receiver.feed(Bytes{0xF0, 0x41, 0, 0x4B, 0x39, 0x14, 0x01, 0xF7});
        rig.clock.at(100ms, [&] { rig.receiver.feed(protocol::frame(reply)); });
        EXPECT_EQ(erase ? eraseArea(rig.io, 0) : writeBlock(rig.io, 0, Bytes{1}), expected)
            << testing::PrintToString(reply);
    }
}

// Reads one body; returns status and the bytes stored.
std::pair<StatusCode, Bytes> read(SysExReceiver& receiver, size_t capacity = 78,
                                  unsigned polls = 30) {
    Bytes buffer(capacity, 0xEE);
    size_t count = 99;
    const StatusCode rc = receiver.readResponse(buffer.data(), capacity, &count, polls);
    buffer.resize(count);
    return {rc, buffer};
}

// Sends one message to the simulator and returns the body of its reply.
Bytes roundTrip(Rig& rig, const Bytes& message) {
    EXPECT_EQ(rig.link.sendSysEx(message), 0u);
    return read(rig.receiver, 50, 100).second;
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
    // The identity, byte by byte: block size 128 in 14 bits, then the serial.
    EXPECT_EQ(roundTrip(rig, identityRequest()),
              (Bytes{0x12, 0, 5, 9, 0,    0,    0,    0x01, 0x00, 0,
                     0,    0, 0, 0, 0x00, 0x0a, 0x7f, 0x10, 0x01, 0x02}));
}

TEST(Receiver, QueuesExactlyTheHaldenBodies) {
    // What comes, and the bodies then read, in order (then a timeout).
    using Case = std::tuple<const char*, Bytes, std::vector<Bytes>>;
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
        {"... but no other status", {0xF0, 0x41, 0xF1, 0xF8, 0x4B, 0x39, 0x16, 0xF7}, {}},
        {"empty body", {0xF0, 0x41, 0x10, 0x4B, 0x39, 0xF7}, {{}}},
        {"start in body: data", {0xF0, 0x41, 0x10, 0x4B, 0x39, 0x16, 0xF0, 0xF7}, {{0x16, 0xF0}}},
        {"a status byte drops the unfinished body",
         {0xF0, 0x41, 0x10, 0x4B, 0x39, 0x12, 0x01, 0x02, 0x90, 0x3C, 0x40, 0xF0, 0x41, 0x10, 0x4B,
          0x39, 0x14, 0x00, 0xF7},
         {{0x14, 0x00}}},
    };
    for (const auto& [name, input, bodies] : cases) {
        Rig rig;
        rig.receiver.feed(input);
        for (const Bytes& expected : bodies) EXPECT_EQ(read(rig.receiver), std::pair(0u, expected));
        EXPECT_EQ(read(rig.receiver).first, 7u) << name;
    }
}

TEST(Receiver, ACutOffOrAResetDropsAnUnfinishedBodyAndACancelOrAFailureEndsARead) {
    Rig rig;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x12, 0x01, 0x02});
    // The reader takes the partial body, then the message is cut off while it waits.
    rig.clock.at(50ms, [&] {
        rig.receiver.feed(Bytes{0x90, 0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0x00, 0xF7});
    });
    EXPECT_EQ(read(rig.receiver), std::pair(0u, Bytes{0x14, 0x00}));
    // A reset empties the queue and forgets the unfinished message.
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x14, 0xF7, 0xF0, 0x41, 0x10, 0x4B});
    rig.receiver.reset();
    rig.receiver.feed(Bytes{0x39, 0x16, 0xF7});
    EXPECT_EQ(read(rig.receiver).first, 7u);
    // A read of 30 polls ends at once after a Cancel, even with a reply waiting, at the
    // poll after one, and at once when the port fails. (Its whole budget: the handshakes
    // 3 s apart, update_test.cpp; a reply during a wait ends it at once: the estimate
    // against the simulated wire, update_test.cpp.)
    rig.cancel = true;
    rig.receiver.feed(Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x16, 0xF7});
    EXPECT_EQ(read(rig.receiver).first, 5u);
    Rig cancelled, failed;
    cancelled.clock.at(1234ms, [&] { cancelled.cancel = true; });
    EXPECT_EQ(read(cancelled.receiver).first, 5u);
    EXPECT_GE(cancelled.clock.now(), 1234ms);
    EXPECT_LE(cancelled.clock.now(), 1300ms);
    failed.clock.at(500ms, [&] { failed.receiver.failPort("gone"); });
    EXPECT_EQ(read(failed.receiver).first, 16u);
    EXPECT_EQ(failed.clock.now(), 500ms);
}

TEST(Receiver, CapacityBoundsTheBody) {
    for (const size_t length : {29u, 30u}) {
        Rig rig;
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
    // What is delivered, and what passes.
    const std::vector<std::pair<Bytes, Bytes>> steps = {
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
        const ByteView passed = filter.pass(steps[i].first);
        EXPECT_EQ(Bytes(passed.begin(), passed.end()), steps[i].second) << "step " << i;
    }
    filter.pass(Bytes{0xF0, 0x41});
    filter.reset();  // forgets the unfinished message
    EXPECT_TRUE(filter.pass(Bytes{0x12, 0xF7}).empty());
}

// A buffer of 100 bytes that empties at 1000 bytes a second (a byte a millisecond).
TEST(WirePacer, KeepsTheBufferFromOverflowing) {
    WirePacer pacer(100, 1000);
    EXPECT_EQ(pacer.waitBefore(100, 0ms), 0ms);  // empty: all fit
    pacer.sent(100, 0ms);
    EXPECT_EQ(pacer.waitBefore(1, 0ms), 1ms);
    EXPECT_EQ(pacer.waitBefore(40, 10ms), 30ms);  // 90 still queued
    EXPECT_EQ(pacer.waitBefore(40, 40ms), 0ms);
    pacer.sent(40, 40ms);  // queued: 60 + 40
    EXPECT_EQ(pacer.waitBefore(10, 40ms), 10ms);
    EXPECT_EQ(pacer.waitBefore(150, 500ms), 50ms);  // more than fits
    pacer.drained(41ms);                            // an answer: everything before it has arrived
    EXPECT_EQ(pacer.waitBefore(100, 41ms), 0ms);
}

}  // namespace
}  // namespace halden
