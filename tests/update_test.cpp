#include <gtest/gtest.h>

#include "rig.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::ascending;
using test::bodyOf;
using test::imageWithArea;
using test::ProgressEvent;
using test::Rig;

SimOptions quietDevice() {
    SimOptions o;
    o.silent = true;
    return o;
}

// ---- handshake and read-back ----

TEST(Connect, SilentHaldenGetsTenRequestsThreeSecondsApart) {
    Rig rig(quietDevice());
    EXPECT_EQ(connectDevice(rig.io, rig.info), 7u);
    ASSERT_EQ(rig.link.sent.size(), 10u);
    for (size_t i = 0; i < rig.link.sent.size(); ++i) {
        EXPECT_EQ(rig.link.sent[i], controlRequest(2));
        if (i > 0) {
            const auto gap = rig.link.times[i] - rig.link.times[i - 1];
            EXPECT_EQ(gap, 3000ms + rig.halden.wireTime(8));
        }
    }
    EXPECT_EQ(rig.progress.percents("Connecting..."),
              (std::vector<int>{0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));
    EXPECT_EQ(rig.progress.events.front(), ProgressEvent{"open"});
    EXPECT_EQ(rig.progress.events.back(), ProgressEvent{"close"});
}

TEST(Connect, ReadsTheIdentityAfterTheFirstAnswer) {
    Rig rig;
    rig.info.serialText = "stale";
    EXPECT_EQ(connectDevice(rig.io, rig.info), 0u);
    EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x11}));
    EXPECT_EQ(rig.info.serialText, "000a7f100102");
    EXPECT_EQ(rig.info.versionText, "1.4");
    EXPECT_EQ(rig.info.blockSize, 128);
}

TEST(Connect, AnswerThenSilenceSendsOneIdentityRequest) {
    Rig rig(quietDevice());
    rig.clock.at(40ms, [&] { rig.receiver.feed(Bytes{0xF0, 0x41, 0, 0x4B, 0x39, 0xF7}); });
    EXPECT_EQ(connectDevice(rig.io, rig.info), 7u);
    EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x11}));
}

TEST(Connect, CancelSendsNoIdentityRequest) {
    Rig rig(quietDevice());
    rig.info.serialText = "kept";
    rig.clock.at(4s, [&] { rig.cancel = true; });
    EXPECT_EQ(connectDevice(rig.io, rig.info), 5u);
    EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x10}));
    EXPECT_EQ(rig.info.serialText, "kept");  // a failed handshake leaves it alone
    EXPECT_EQ(rig.progress.events.back(), ProgressEvent{"close"});
}

TEST(Connect, ClearsAnEarlierCancel) {
    Rig rig;
    rig.cancel = true;
    EXPECT_EQ(connectDevice(rig.io, rig.info), 0u);
}

TEST(VerifyAfterUpdate, HaldenAnsweringTheThirdRequest) {
    SimOptions options;
    options.answerFrom = 3;
    Rig rig(options);
    EXPECT_EQ(verifyAfterUpdate(rig.io, rig.info, 10), 0u);
    EXPECT_EQ(rig.countSent(0x11), 3u);
    EXPECT_EQ(rig.progress.percents("Reading updated version #..."),
              (std::vector<int>{0, 10, 20, 30}));
    EXPECT_EQ(rig.info.versionText, "1.4");
}

TEST(VerifyAfterUpdate, GivesUpAfterTenTimeouts) {
    Rig rig(quietDevice());
    EXPECT_EQ(verifyAfterUpdate(rig.io, rig.info, 10), 7u);
    EXPECT_EQ(rig.countSent(0x11), 10u);
}

TEST(VerifyAfterUpdate, ZeroTriesRequestsNothing) {
    Rig rig;
    EXPECT_EQ(verifyAfterUpdate(rig.io, rig.info, 0), 0u);
    EXPECT_TRUE(rig.link.sent.empty());
}

// ---- whole updates ----

TEST(Update, ReferenceImageSendsExactlyThreeMessagesAndIsNotProven) {
    SimOptions options;
    options.imageStatus = 1;
    Rig rig(options);
    const Bytes image{0x00, 0x87, 0x5E, 0x00, 0x03, 0x00, 0x01, 0x04, 0x0A, 0x0B, 0x0C, 0xFF};
    // The area says 1.4, but its data (and so the Halden, read back) say 10.11: every
    // message went, and the update is still not proven.
    EXPECT_EQ(runUpdate(rig.io, image, rig.info), 20u);
    const auto& sent = rig.link.sent;
    ASSERT_EQ(sent.size(), 6u);  // handshake, identity, 3 update messages, read-back
    EXPECT_EQ(sent[2], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x13, 0x00, 0xF7}));
    EXPECT_EQ(sent[3], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x15, 0x00, 0x00, 0x00, 0x03, 0x0A,
                              0x0B, 0x0C, 0x00, 0x24, 0xF7}));
    EXPECT_EQ(sent[4], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x15, 0x00, 0x01, 0x00, 0x00, 0x00,
                              0x01, 0xF7}));
    EXPECT_EQ(sent[5], identityRequest());
    EXPECT_EQ(rig.halden.memory(), (Bytes{0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(rig.info.versionText, "10.11");  // the simulator's convention
}

TEST(Update, WritesTheAreaAndReadsTheNewVersionBack) {
    const Bytes data = ascending(5000, 3);  // version 3.4 by the first two bytes
    Rig rig;
    EXPECT_EQ(runUpdate(rig.io, imageWithArea(data), rig.info), 0u);
    EXPECT_EQ(rig.halden.memory(), data);
    EXPECT_EQ(rig.info.versionText, "3.4");
    EXPECT_TRUE(rig.boxes.questions.empty());
}

struct SplitCase {
    size_t length;
    std::vector<size_t> blocks;
    std::vector<int> percents;
};

class BlockSplitting : public testing::TestWithParam<SplitCase> {};

TEST_P(BlockSplitting, SendsBlocksAndClosesTheArea) {
    const auto& c = GetParam();
    Rig rig;
    ASSERT_EQ(runUpdate(rig.io, imageWithArea(ascending(c.length)), rig.info), 0u);
    std::vector<size_t> lengths;
    std::vector<unsigned> numbers;
    for (const auto& m : rig.link.sent) {
        const auto block = protocol::decodeBlockWrite(bodyOf(m));
        if (!block) continue;
        numbers.push_back(block->number);
        lengths.push_back(block->payload.size());
    }
    std::vector<size_t> expected = c.blocks;
    expected.push_back(0);  // the closing block
    EXPECT_EQ(lengths, expected);
    for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], i);
    EXPECT_EQ(rig.progress.percents("Updating Halden area..."), c.percents);
    EXPECT_EQ(rig.countSent(0x13), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockSplitting,
                         testing::Values(SplitCase{300, {128, 128, 44}, {0, 33, 66}},
                                         SplitCase{256, {128, 128}, {0, 33}}, SplitCase{0, {}, {}},
                                         SplitCase{1, {1}, {0}}, SplitCase{127, {127}, {0}}));

TEST(Update, DelayRecordShowsItsProgress) {
    Rig rig;
    const Bytes image{0x00, 0xEE, 0x80, 0x02, 0x14, 0xFF};
    std::vector<Clock::Duration> times;
    rig.progress.onSet = [&](std::string_view caption, int) {
        if (caption == "Delaying...") times.push_back(rig.clock.now());
    };
    EXPECT_EQ(runUpdate(rig.io, image, rig.info), 0u);
    std::vector<int> expected;
    for (int p = 0; p <= 95; p += 5) expected.push_back(p);
    expected.insert(expected.begin(), 0);
    expected.push_back(100);
    EXPECT_EQ(rig.progress.percents("Delaying..."), expected);
    EXPECT_EQ(times.back() - times.front(), 2000ms);
    EXPECT_EQ(rig.countSent(0x11), 2u);  // connect and read-back
}

TEST(Update, ControlRecordSendsItsCodeAndPausesOneSecond) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addControl(3).ok());
    builder.addSkip();
    Rig rig;
    EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), 0u);
    ASSERT_EQ(rig.link.sent.size(), 4u);
    EXPECT_EQ(rig.link.sent[2], controlRequest(3));
    EXPECT_EQ(rig.link.times[3] - rig.link.times[2], 1000ms + rig.halden.wireTime(8));
}

TEST(Update, EveryAreaIsErasedAsAreaZeroAndNumberedFromZero) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addArea(ascending(200, 1)).ok());
    EXPECT_TRUE(builder.addArea(ascending(130, 2)).ok());
    Rig rig;
    ASSERT_EQ(runUpdate(rig.io, builder.finish(), rig.info), 0u);
    std::vector<std::pair<uint8_t, unsigned>> trace;  // command, block or area
    for (const auto& m : rig.link.sent) {
        const ByteView body = bodyOf(m);
        if (body[0] == 0x13) trace.emplace_back(body[0], protocol::requestArgument(body).value());
        if (body[0] == 0x15) trace.emplace_back(body[0], protocol::decodeBlockWrite(body)->number);
    }
    using P = std::pair<uint8_t, unsigned>;
    EXPECT_EQ(trace, (std::vector<P>{{0x13, 0},
                                     {0x15, 0},
                                     {0x15, 1},
                                     {0x15, 2},
                                     {0x13, 0},
                                     {0x15, 0},
                                     {0x15, 1},
                                     {0x15, 2}}));
    EXPECT_EQ(rig.halden.memory(), ascending(130, 2));  // the last area written
}

// ---- the up-to-date question ----

TEST(UpToDate, NoSendsNothingForTheArea) {
    Rig rig;  // reports 1.4, image good
    EXPECT_EQ(runUpdate(rig.io, imageWithArea(ascending(300), 1, 4), rig.info), 5u);
    EXPECT_EQ(rig.boxes.questions,
              std::vector<std::string>{
                  "The Halden image in the Kestrel 9 is verified good and the version # matches "
                  "the update file. Updating with this image file is unnecessary and will change "
                  "nothing! Update anyway?"});
    EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x11}));
    EXPECT_EQ(rig.halden.imageStatus(), 0);  // the working firmware is untouched
}

TEST(UpToDate, YesWritesTheArea) {
    Rig rig;
    rig.boxes.answer = true;
    Bytes data = ascending(300, 1);
    data[1] = 4;  // the firmware's own version, 1.4
    EXPECT_EQ(runUpdate(rig.io, imageWithArea(data, 1, 4), rig.info), 0u);
    EXPECT_EQ(rig.halden.memory(), data);
    // The window is closed while the question is on screen and opened again after it.
    const auto& ev = rig.progress.events;
    auto it = std::find(ev.begin(), ev.end(), ProgressEvent{"close"});
    it = std::find(it + 1, ev.end(), ProgressEvent{"close"});
    ASSERT_NE(it, ev.end());
    EXPECT_EQ(*(it + 1), ProgressEvent{"open"});
}

TEST(UpToDate, AskedOnlyWhenVersionMatchesAndImageIsGood) {
    struct Case {
        uint8_t status, major, minor;
        bool asked;
    };
    for (auto c : {Case{0, 1, 4, true}, Case{1, 1, 4, false}, Case{0, 1, 5, false},
                   Case{0, 2, 4, false}, Case{0, 0x7F, 0x7F, false}}) {
        SimOptions options;
        options.imageStatus = c.status;
        options.version = c.major == 0x7F ? Version{0x7F, 0x7F} : Version{1, 4};
        Rig rig(options);
        rig.boxes.answer = true;
        (void)runUpdate(rig.io, imageWithArea(ascending(10), c.major, c.minor), rig.info);
        EXPECT_EQ(rig.boxes.questions.size(), c.asked ? 1u : 0u)
            << +c.status << " " << +c.major << "." << +c.minor;
    }
}

TEST(UpToDate, AskedForEachMatchingArea) {
    ImageBuilder builder;
    Bytes data = ascending(10, 1);
    data[1] = 4;  // 1.4
    EXPECT_TRUE(builder.addArea(data, 1, 4).ok());
    EXPECT_TRUE(builder.addArea(data, 1, 4).ok());
    Rig rig;
    rig.boxes.answer = true;
    EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), 0u);
    EXPECT_EQ(rig.boxes.questions.size(), 2u);
    EXPECT_EQ(rig.countSent(0x13), 2u);
}

// ---- failures: the first one ends the update and nothing more is sent ----

// What the identity and the port allow is checked right after the handshake: an area
// that cannot be written is refused before any record of the image runs, so the
// Halden's firmware is never erased for nothing.
TEST(Update, BlocksThatCannotBeSentAreRefusedBeforeAnything) {
    struct Case {
        const char* name;
        uint16_t blockSize;
        size_t areaLength;
        size_t portMax;
        StatusCode expected;
    };
    const Case cases[] = {
        {"block size 0", 0, 300, SIZE_MAX, 8},
        {"blocks fill the port exactly", 128, 300, 141, 0},
        {"blocks one byte too long for the port", 128, 300, 140, 17},
        {"a short area needs only short messages", 128, 10, 23, 0},
        {"16384 block numbers", 1, 16383, SIZE_MAX, 0},
        {"16385 block numbers", 1, 16384, SIZE_MAX, 18},
    };
    for (const auto& c : cases) {
        SimOptions options;
        options.blockSize = c.blockSize;
        options.baud = 0;
        Rig rig(options);
        rig.link.maxMessage = c.portMax;
        ImageBuilder builder;
        EXPECT_TRUE(builder.addControl(1).ok());
        const Bytes data = ascending(c.areaLength, 2);
        EXPECT_TRUE(builder.addArea(data).ok());
        EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), c.expected) << c.name;
        if (c.expected == 0) {
            EXPECT_EQ(rig.halden.memory(), data) << c.name;
        } else {
            EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x11})) << c.name;
            EXPECT_EQ(rig.halden.imageStatus(), 0) << c.name;  // the firmware is untouched
        }
    }
}

TEST(Update, BlockSizeZeroRunsAnImageWithoutAreas) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addControl(1).ok());
    EXPECT_TRUE(builder.addDelay(2).ok());
    SimOptions options;
    options.blockSize = 0;
    Rig rig(options);
    EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), 0u);
    EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x11, 0x10, 0x11}));
}

TEST(Update, InvalidImageIsRefusedAfterTheHandshake) {
    Rig rig;
    Bytes image = imageWithArea(ascending(10));
    image[5] ^= 1;
    EXPECT_EQ(runUpdate(rig.io, image, rig.info), 2u);
    EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x11}));
}

TEST(Cancel, DuringDelaySetsTheBarTo100First) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addDelay(50).ok());
    EXPECT_TRUE(builder.addControl(1).ok());
    Rig rig;
    rig.progress.onSet = [&](std::string_view caption, int percent) {
        if (caption == "Delaying..." && percent == 20) rig.cancel = true;
    };
    EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), 5u);
    EXPECT_EQ(rig.progress.percents("Delaying...").back(), 100);
    EXPECT_EQ(rig.countSent(0x10), 1u);  // only the handshake's
}

// ---- a misbehaving link or device ----

// A Halden that is slow to answer, but within each wait's budget. (Noise on the link,
// faults and Cancel at every step: fault_matrix_test.cpp.)
TEST(Update, ASlowHaldenWithinTheBudgets) {
    for (const bool slowLink : {true, false}) {
        SimOptions options;
        if (slowLink) {
            options.latency = 800ms;
        } else {
            options.eraseTime = 8s;  // the erase waits 8.8 s at most
            options.writeTime = 9s;  // a block 10 s
        }
        Rig rig(options);
        const Bytes data = ascending(700, 2);
        EXPECT_EQ(runUpdate(rig.io, imageWithArea(data), rig.info), 0u) << slowLink;
        EXPECT_EQ(rig.halden.memory(), data) << slowLink;
    }
}

// An update counts only when the Halden then reports its image good and the version the
// image's areas carry.
TEST(Update, SucceedsOnlyWhenTheHaldenProvesIt) {
    struct Case {
        const char* name;
        std::optional<uint8_t> statusAfter;
        std::optional<Version> versionAfter;
        std::vector<Version> areas;  // 0x7F 0x7F: an area without a version
        StatusCode expected;
    };
    const std::vector<Case> cases = {
        {"took it", {}, {}, {{1, 5}}, 0},
        {"not good after it", 1, {}, {{1, 5}}, 19},
        {"not good, status 127", 127, {}, {{1, 5}}, 19},
        {"kept its old version", {}, Version{1, 4}, {{1, 5}}, 20},
        {"two areas, one version", {}, {}, {{1, 5}, {1, 5}}, 0},
        {"two areas, another version", {}, Version{1, 4}, {{1, 5}, {1, 5}}, 20},
        {"areas that disagree: no version to hold it to", {}, Version{1, 4}, {{1, 5}, {1, 6}}, 0},
        {"an area without a version", {}, Version{3, 3}, {{0x7F, 0x7F}}, 0},
        {"one versioned area of two", {}, Version{1, 4}, {{0x7F, 0x7F}, {1, 5}}, 20},
        {"not good is told first", 1, Version{1, 4}, {{1, 5}}, 19},
    };
    for (const Case& c : cases) {
        SimOptions options;
        options.statusAfterUpdate = c.statusAfter;
        options.versionAfterUpdate = c.versionAfter;
        test::Rig rig(options);
        rig.boxes.answer = true;
        ImageBuilder builder;
        for (const Version& v : c.areas) {
            Bytes data = test::ascending(200);
            data[0] = v.major == 0x7F ? 1 : v.major;  // the firmware's own version bytes
            data[1] = v.minor == 0x7F ? 5 : v.minor;
            EXPECT_TRUE(builder.addArea(data, v.major, v.minor).ok());
        }
        UpdateProgress done;
        EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info, done), c.expected) << c.name;
        EXPECT_TRUE(done.erased) << c.name;
        // The identity is the one read back, whatever it proves.
        EXPECT_EQ(rig.info.imageStatus, c.statusAfter.value_or(0)) << c.name;
        if (c.versionAfter) {
            EXPECT_EQ(rig.info.version(), *c.versionAfter) << c.name;
        }
    }
}

TEST(Update, SaysWhetherAnEraseWasSent) {
    {
        test::Rig rig;  // 1.4: the question comes, and No erases nothing
        UpdateProgress done;
        EXPECT_EQ(runUpdate(rig.io, test::imageWithArea(test::ascending(10), 1, 4), rig.info, done),
                  5u);
        EXPECT_FALSE(done.erased);
    }
    SimOptions silentAfterErase;
    silentAfterErase.blockResults = {{0, 3}};
    test::Rig rig(silentAfterErase);
    UpdateProgress done;
    EXPECT_EQ(runUpdate(rig.io, test::imageWithArea(test::ascending(300)), rig.info, done), 13u);
    EXPECT_TRUE(done.erased);
}

}  // namespace
}  // namespace halden

namespace halden {
namespace {

TEST(OlderImage, OnlyWhenEveryVersionedAreaIsOlderThanAGoodHalden) {
    struct Case {
        uint8_t status, major, minor;  // the Halden
        std::vector<Version> areas;    // 0x7F 0x7F carries no version
        bool older;
        Version newest;
    };
    const std::vector<Case> cases = {
        {0, 1, 5, {{1, 4}}, true, {1, 4}},
        {0, 2, 0, {{1, 9}, {1, 2}}, true, {1, 9}},
        {0, 1, 5, {{1, 5}}, false, {}},  // the same: the up-to-date question
        {0, 1, 5, {{1, 6}}, false, {}},
        {0, 1, 5, {{1, 4}, {1, 6}}, false, {}},  // not every one
        {0, 1, 5, {{0x7F, 0x7F}}, false, {}},    // none carries a version
        {0, 1, 5, {{0x7F, 0x7F}, {0, 9}}, true, {0, 9}},
        {1, 1, 5, {{1, 4}}, false, {}},  // no good firmware to go back from
    };
    for (const Case& c : cases) {
        std::vector<Record> records;
        for (const Version& v : c.areas) {
            Record r;
            r.type = RecordType::Area;
            r.version = v;
            records.push_back(r);
        }
        DeviceInfo info;
        info.imageStatus = c.status;
        info.versionMajor = c.major, info.versionMinor = c.minor;
        Version newest;
        EXPECT_EQ(isOlderThanHalden(records, info, newest), c.older) << +c.major << "." << +c.minor;
        if (c.older) {
            EXPECT_EQ(newest, c.newest);
        }
    }
}

TEST(OlderImage, IsAskedOnceBeforeAnythingIsErased) {
    for (bool yes : {false, true}) {
        SimOptions options;
        options.version = {1, 5};
        test::Rig rig(options);
        rig.boxes.answer = yes;
        Bytes data = test::ascending(300);
        data[0] = 1, data[1] = 4;
        ImageBuilder builder;
        EXPECT_TRUE(builder.addControl(1).ok());
        EXPECT_TRUE(builder.addArea(data, 1, 4).ok());
        EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), yes ? 0u : 5u);
        EXPECT_EQ(rig.boxes.questions,
                  std::vector<std::string>{
                      "The Halden runs version 1.5, and this image holds the older version 1.4. "
                      "Updating replaces the newer firmware with the older one. Update anyway?"});
        if (!yes) {
            EXPECT_EQ(rig.sentCommands(),
                      (std::vector<uint8_t>{0x10, 0x11}));  // not even the control
        } else {
            EXPECT_EQ(rig.halden.memory(), data);
        }
    }
}

}  // namespace
}  // namespace halden
