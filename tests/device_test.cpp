#include <gtest/gtest.h>

#include "rig.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::Rig;

TEST(Requests, HaveTheExactBytes) {
    EXPECT_EQ(controlRequest(2), (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x10, 0x02, 0xF7}));
    EXPECT_EQ(identityRequest(), (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x11, 0xF7}));
    EXPECT_EQ(eraseRequest(0), (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x13, 0x00, 0xF7}));
    EXPECT_EQ(blockWrite(130, Bytes{1, 2, 3}),
              (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x15, 0x01, 0x02, 0x00, 0x03, 0x01, 0x02, 0x03,
                     0x00, 0x0C, 0xF7}));
    EXPECT_EQ(blockWrite(1, {}), (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x15, 0x00, 0x01, 0x00, 0x00,
                                        0x00, 0x01, 0xF7}));
}

TEST(Requests, BlockChecksumKeepsLow14Bits) {
    const Bytes payload(200, 0x7F);  // 200 * 127 + 1 + 72 = 25473 = 0x6381
    const Bytes m = blockWrite(0, payload);
    ASSERT_EQ(m.size(), 213u);
    const unsigned sum = (25400 + 0 + 0 + 1 + 72) & 0x3FFF;
    EXPECT_EQ(m[210], (sum >> 7) & 0x7F);
    EXPECT_EQ(m[211], sum & 0x7F);
}

TEST(Identity, DecodesEveryField) {
    Bytes body(20, 0);
    body[0] = 0x12;
    body[2] = 3;
    body[3] = 17;
    body[7] = 0x01;
    body[8] = 0x05;  // block size 133
    body[11] = 0x02;
    body[12] = 0x03;
    const uint8_t serial[] = {0x00, 0x0A, 0x7F, 0x10, 0x01, 0x02};
    std::copy(std::begin(serial), std::end(serial), body.begin() + 14);
    DeviceInfo info;
    ASSERT_EQ(decodeIdentity(body, info), 0u);
    EXPECT_EQ(info.blockSize, 133);
    EXPECT_EQ(info.auxWord, 0x103);
    EXPECT_EQ(info.serialText, "000a7f100102");
    EXPECT_EQ(info.versionText, "3.17");
    body[1] = 1;  // image not verified: no version text
    DeviceInfo bad;
    ASSERT_EQ(decodeIdentity(body, bad), 0u);
    EXPECT_EQ(bad.versionText, "");
    EXPECT_EQ(bad.serialText, "000a7f100102");
}

// A body of any other length is refused without reading past it (heap buffers of the
// exact size, so that the sanitizer build sees any read beyond).
TEST(Identity, OtherLengthsAreRefusedAndLeaveItCleared) {
    for (size_t length : {0u, 1u, 4u, 19u, 21u}) {
        Bytes body(length, 0x01);
        if (length > 0) body[0] = 0x12;
        DeviceInfo info;
        info.serialText = "old";
        EXPECT_EQ(decodeIdentity(body, info), 8u) << length;
        EXPECT_EQ(info.serialText, "") << length;
        EXPECT_EQ(info.blockSize, 0) << length;
    }
}

TEST(ReadIdentity, RejectsWrongLengths) {
    for (auto [length, expected] : {std::pair{19u, 8u}, {20u, 0u}, {21u, 8u}}) {
        SimOptions options;
        options.identityBodyLength = length;
        Rig rig(options);
        EXPECT_EQ(readIdentity(rig.io, rig.info), expected) << length;
        // A failed exchange leaves the identity cleared.
        EXPECT_EQ(rig.info.serialText, expected == 0 ? "000a7f100102" : "");
    }
}

TEST(ReadIdentity, SkipsOtherBodiesWithAFreshBudget) {
    // A block reply arrives after 2.5 s, the identity 0.8 s later: past the first 3 s
    // budget, inside the fresh one (which its own 21 bytes share).
    SimOptions options;
    options.answerFrom = 99;  // the simulator stays quiet; the test plays the device
    Rig quiet(options);
    quiet.clock.at(2500ms, [&] {
        quiet.receiver.feed(Bytes{0xF0, 0x41, 0, 0x4B, 0x39, 0x16, 0xF7});
    });
    Bytes identity{0xF0, 0x41, 0, 0x4B, 0x39, 0x12};
    identity.resize(25, 0);
    identity.push_back(0xF7);
    quiet.clock.at(3300ms, [&] { quiet.receiver.feed(identity); });
    EXPECT_EQ(readIdentity(quiet.io, quiet.info), 0u);
    EXPECT_EQ(quiet.info.versionText, "0.0");
}

TEST(EraseArea, MapsResultsAndResetsFirst) {
    for (auto [result, expected] : {std::pair<uint8_t, StatusCode>{0, 0}, {1, 9}, {2, 8}}) {
        SimOptions options;
        options.eraseResult = result;
        Rig rig(options);
        rig.receiver.feed(Bytes{0xF0, 0x41, 0, 0x4B, 0x39, 0x14, 0x01, 0xF7});  // stale
        EXPECT_EQ(eraseArea(rig.io, 0), expected) << +result;
    }
}

TEST(EraseArea, BodyWithOnlyTheCommandIsSuccess) {
    SimOptions options;
    options.silent = true;
    Rig rig(options);
    rig.clock.at(10ms, [&] { rig.receiver.feed(Bytes{0xF0, 0x41, 0, 0x4B, 0x39, 0x14, 0xF7}); });
    EXPECT_EQ(eraseArea(rig.io, 0), 0u);
}

TEST(EraseArea, SilenceTimesOutAfter8800ms) {
    SimOptions options;
    options.silent = true;
    Rig rig(options);
    EXPECT_EQ(eraseArea(rig.io, 0), 7u);
    EXPECT_EQ(rig.clock.now(), 8800ms + rig.halden.wireTime(8));
}

TEST(WriteBlock, AnswersFromTheDevice) {
    struct Case {
        Bytes reply;
        StatusCode expected;
    };
    const std::vector<Case> cases = {
        {{0x16}, 0},        {{0x16, 0x00}, 0}, {{0x16, 0x07}, 0}, {{0x16, 0x07, 0x00}, 8},
        {{0x16, 0x06}, 14}, {{0x16, 0x09}, 8}, {{0x14, 0x00}, 8}, {{}, 8},
    };
    for (const auto& c : cases) {
        SimOptions options;
        options.silent = true;
        Rig rig(options);
        Bytes message{0xF0, 0x41, 0x10, 0x4B, 0x39};
        message.insert(message.end(), c.reply.begin(), c.reply.end());
        message.push_back(0xF7);
        rig.clock.at(100ms, [&] { rig.receiver.feed(message); });
        EXPECT_EQ(writeBlock(rig.io, 0, Bytes{1}), c.expected) << testing::PrintToString(c.reply);
    }
}

}  // namespace
}  // namespace halden
