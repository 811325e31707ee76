// The update procedure on a simulated Halden. (Every fault, Cancel and a failing port at
// every step of an update: fault_matrix_test.cpp.)
#include <gtest/gtest.h>

#include <set>

#include "engine/estimate.h"
#include "rig.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::ascending;
using test::Rig;

// A silent Halden gets ten handshakes 3 s apart; an erase waits 8.8 s for its answer.
TEST(Connect, SilentHaldenGetsTenRequestsThreeSecondsApart) {
    Rig rig([&](SimOptions& o) { o.silent = true; });
    EXPECT_EQ(connectDevice(rig.io, rig.info), 7u);
    EXPECT_EQ(rig.progress.percents("Connecting...").back(), 90);
    ASSERT_EQ(rig.link.sent, std::vector<Bytes>(10, controlRequest(2)));
    for (size_t i = 1; i < rig.link.times.size(); ++i)
        EXPECT_EQ(rig.link.times[i] - rig.link.times[i - 1], 3000ms + rig.halden.wireTime(8));
    const auto erasedAt = rig.clock.now();
    EXPECT_EQ(eraseArea(rig.io, 0), 7u);
    EXPECT_EQ(rig.clock.now() - erasedAt, 8800ms + rig.halden.wireTime(8));
}

TEST(VerifyAfterUpdate, AsksUntilAnAnswerAtMostTheTriesGiven) {
    // The Halden answers from its N-th request on.
    for (const auto& [answerFrom, tries, expected, requests] :
         {std::tuple{3u, 10u, 0u, 3u}, {99u, 10u, 7u, 10u}, {1u, 0u, 0u, 0u}}) {
        Rig rig([&](SimOptions& o) { o.answerFrom = answerFrom; });
        EXPECT_EQ(verifyAfterUpdate(rig.io, rig.info, tries), expected) << answerFrom;
        EXPECT_EQ(rig.countSent(0x11), requests) << answerFrom;
        EXPECT_EQ(rig.info.versionText, expected == 0 && tries ? "1.4" : "");
    }
}

// A control record sends its code and pauses 1 s; a delay of 20 waits 2 s; a skip sends
// nothing; the area: its erase, its block and the closing block.
TEST(Update, EveryRecordSendsExactlyItsMessagesAndTheUpdateIsNotProven) {
    Rig rig([&](SimOptions& o) { o.imageStatus = 1; });
    std::vector<Clock::Duration> delaying;
    rig.progress.onSet = [&](std::string_view caption, int) {
        if (caption == "Delaying...") delaying.push_back(rig.clock.now());
    };
    const Bytes image{0x00, 0x68, 0x6C, 0x03, 0x03, 0x02, 0x14, 0x01, 0x00,
                      0x03, 0x00, 0x01, 0x04, 0x0A, 0x0B, 0x0C, 0xFF};
    // The area says 1.4, but its data (and so the Halden, read back) say 10.11: every
    // message went, and the update is still not proven.
    EXPECT_EQ(runUpdate(rig.io, image, rig.info), 20u);
    const auto& sent = rig.link.sent;
    ASSERT_EQ(sent.size(), 7u);  // handshake, identity, 4 update messages, read-back
    EXPECT_EQ(sent[2], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x10, 0x03, 0xF7}));
    EXPECT_EQ(delaying.front() - rig.link.times[2], 1000ms + rig.halden.wireTime(8));
    EXPECT_EQ(delaying.back() - delaying.front(), 2000ms);
    EXPECT_EQ(sent[3], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x13, 0x00, 0xF7}));
    EXPECT_EQ(sent[4], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x15, 0x00, 0x00, 0x00, 0x03, 0x0A,
                              0x0B, 0x0C, 0x00, 0x24, 0xF7}));
    EXPECT_EQ(sent[5], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x15, 0x00, 0x01, 0x00, 0x00, 0x00,
                              0x01, 0xF7}));
    EXPECT_EQ(sent[6], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x11, 0xF7}));
    EXPECT_EQ(rig.halden.memory(), (Bytes{0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(rig.info.versionText, "10.11");  // the simulator's convention
}

// Each area: one erase of area 0, blocks numbered from 0, the empty closing block; also on a
// Halden that is slow to answer, but within each wait's budget.
TEST(Update, ErasesEachAreaAndSplitsItIntoBlocks) {
    // The trace: E erase, number:length a block.
    for (const auto& [areas, expected] : {std::pair{std::vector<size_t>{256}, "E0 0:128 1:128 2:0"},
                                          {{0}, "E0 0:0"},
                                          {{127}, "E0 0:127 1:0"},
                                          {{200, 130}, "E0 0:128 1:72 2:0 E0 0:128 1:2 2:0"}}) {
        ImageBuilder builder;
        for (size_t length : areas) EXPECT_TRUE(builder.addArea(ascending(length, 1)).ok());
        const Bytes image = builder.finish();
        for (const bool slowLink : {true, false}) {
            Rig rig([&](SimOptions& o) {
                o.latency = slowLink ? 800ms : 0ms;
                o.eraseTime = slowLink ? 0s : 8s;  // the erase waits 8.8 s at most
                o.writeTime = slowLink ? 0s : 9s;  // a block 10 s
            });
            ASSERT_EQ(runUpdate(rig.io, image, rig.info), 0u) << expected << slowLink;
            std::string trace;
            for (const auto& m : rig.link.sent) {
                const ByteView body = test::bodyOf(m);
                if (body[0] == 0x13)
                    trace += " E" + std::to_string(*protocol::requestArgument(body));
                if (const auto block = protocol::decodeBlockWrite(body)) {
                    trace += " " + std::to_string(block->number) + ":" +
                             std::to_string(block->payload.size());
                }
            }
            EXPECT_EQ(trace.substr(1), expected);
        }
    }
}

// The questions before an area of the Halden's own version (for each) and before an image
// older than it (once, before anything runs); No sends nothing more. The window is closed
// while a question is on screen.
TEST(Update, AsksBeforeWritingTheSameOrOlderFirmware) {
    const std::string same =
        "The Halden image in the Kestrel 9 is verified good and the version # matches the "
        "update file. Updating with this image file is unnecessary and will change nothing! "
        "Update anyway?";
    const auto older = [](const char* halden, const char* image) {
        return std::string("The Halden runs version ") + halden +
               ", and this image holds the older version " + image +
               ". Updating replaces the newer firmware with the older one. Update anyway?";
    };
    // The Halden's image status and version, the areas' versions (0x7F 0x7F: none), and
    // the questions when every answer is Yes.
    const Version none{0x7F, 0x7F};
    using Case = std::tuple<uint8_t, Version, std::vector<Version>, std::vector<std::string>>;
    const std::vector<Case> cases = {
        {0, {1, 4}, {{1, 4}}, {same}},
        {0, {1, 4}, {{1, 4}, {1, 4}}, {same, same}},
        {1, {1, 4}, {{1, 4}}, {}},  // no good firmware: nothing to keep or go back from
        {0, {1, 4}, {{1, 5}}, {}},
        {0, {1, 4}, {{2, 4}}, {}},
        {0, none, {none}, {}},
        {0, {1, 5}, {{1, 4}}, {older("1.5", "1.4")}},
        {0, {2, 0}, {{1, 9}, {1, 2}}, {older("2.0", "1.9")}},
        {0, {1, 5}, {{1, 4}, {1, 6}}, {}},  // not every one older
        {0, {1, 5}, {none, {0, 9}}, {older("1.5", "0.9")}},
        {1, {1, 5}, {{1, 4}}, {}},
    };
    for (const auto& [status, halden, areas, questions] : cases) {
        ImageBuilder builder;
        EXPECT_TRUE(builder.addControl(1).ok());
        for (const Version& v : areas)
            EXPECT_TRUE(builder.addArea(ascending(10), v.major, v.minor).ok());
        const Bytes image = builder.finish();
        for (const bool yes : {false, true}) {
            Rig rig([&](SimOptions& o) {
                o.version = halden;
                o.imageStatus = status;
            });
            rig.boxes.answer = yes;
            UpdateProgress done;
            const StatusCode rc = runUpdate(rig.io, image, rig.info, done);
            SCOPED_TRACE(std::to_string(areas.size()) + " areas, " +
                         std::to_string(areas[0].minor) + (yes ? ", yes" : ", no"));
            const size_t asked = yes ? questions.size() : !questions.empty();  // No ends it
            EXPECT_EQ(rig.boxes.questions,
                      std::vector(questions.begin(), questions.begin() + asked));
            if (yes || questions.empty()) {
                EXPECT_EQ(rig.countSent(0x13), areas.size());
                // Closed for each up-to-date question and opened again after it.
                EXPECT_EQ(rig.progress.openings(), 3 + std::ranges::count(questions, same));
            } else {
                EXPECT_EQ(rc, 5u);
                EXPECT_FALSE(done.erased);
                // An older image: not even the control record.
                EXPECT_EQ(rig.countSent(0x10), questions[0] == same ? 2u : 1u);
            }
        }
    }
}

// What the image, the identity and the port allow is checked right after the handshake:
// a damaged image (before anything else), or an area that cannot be written, is refused
// before any record of the image runs, so the Halden's firmware is never erased for nothing.
TEST(Update, WhatCannotBeSentIsRefusedBeforeAnything) {
    // The Halden's block size, the area's length (none: no area), the port's largest
    // message, whether the image is damaged.
    using Case = std::tuple<const char*, uint16_t, std::optional<size_t>, size_t, bool, StatusCode>;
    const Case cases[] = {
        {"a damaged image", 0, 10, SIZE_MAX, true, 2},
        {"block size 0", 0, 300, SIZE_MAX, false, 8},
        {"no area: block size 0 does not matter", 0, {}, SIZE_MAX, false, 0},
        {"blocks fill the port exactly", 128, 300, 141, false, 0},
        {"blocks one byte too long for the port", 128, 300, 140, false, 17},
        {"a short area needs only short messages", 128, 10, 23, false, 0},
        {"16384 block numbers", 1, 16383, SIZE_MAX, false, 0},
        {"16385 block numbers", 1, 16384, SIZE_MAX, false, 18},
    };
    for (const auto& [name, blockSize, areaLength, portMax, damaged, expected] : cases) {
        SCOPED_TRACE(name);
        Rig rig([&](SimOptions& o) {
            o.blockSize = blockSize;
            o.baud = 0;
        });
        rig.link.maxMessage = portMax;
        ImageBuilder builder;
        EXPECT_TRUE(builder.addControl(1).ok());
        const Bytes data = ascending(areaLength.value_or(0), 2);
        EXPECT_TRUE(!areaLength || builder.addArea(data).ok());
        Bytes image = builder.finish();
        if (damaged) image[5] ^= 1;
        EXPECT_EQ(runUpdate(rig.io, image, rig.info), expected);
        EXPECT_EQ(rig.progress.plans.size(), expected == 0 ? 1u : 0u);
        if (expected == 0) {
            EXPECT_EQ(rig.halden.memory(), data);
        } else {
            EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x11}));
        }
    }
}

// An update counts only when the Halden then reports its image good and the version the
// image's areas carry.
TEST(Update, SucceedsOnlyWhenTheHaldenProvesIt) {
    // The Halden's image status and version after the update (none: what the image
    // gives), the areas' versions (0x7F 0x7F: none).
    using Case = std::tuple<const char*, std::optional<uint8_t>, std::optional<Version>,
                            std::vector<Version>, StatusCode>;
    const std::vector<Case> cases = {
        {"took it", {}, {}, {{1, 5}}, 0},
        {"not good, status 127", 127, {}, {{1, 5}}, 19},
        {"kept its old version", {}, Version{1, 4}, {{1, 5}}, 20},
        {"two areas, one version", {}, {}, {{1, 5}, {1, 5}}, 0},
        {"two areas, another version", {}, Version{1, 4}, {{1, 5}, {1, 5}}, 20},
        {"areas that disagree: no version to hold it to", {}, Version{1, 4}, {{1, 5}, {1, 6}}, 0},
        {"an area without a version", {}, Version{3, 3}, {{0x7F, 0x7F}}, 0},
        {"one versioned area of two", {}, Version{1, 4}, {{0x7F, 0x7F}, {1, 5}}, 20},
        {"not good is told first", 1, Version{1, 4}, {{1, 5}}, 19},
    };
    for (const auto& [name, statusAfter, versionAfter, areas, expected] : cases) {
        SCOPED_TRACE(name);
        Rig rig([&](SimOptions& o) {
            o.statusAfterUpdate = statusAfter;
            o.versionAfterUpdate = versionAfter;
        });
        rig.boxes.answer = true;
        ImageBuilder builder;
        for (const Version& v : areas) {
            Bytes data = ascending(200);
            data[0] = v.major == 0x7F ? 1 : v.major;  // the firmware's own version bytes
            data[1] = v.minor == 0x7F ? 5 : v.minor;
            EXPECT_TRUE(builder.addArea(data, v.major, v.minor).ok());
        }
        EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), expected);
        // The identity is the one read back, whatever it proves.
        EXPECT_EQ(rig.info.imageStatus, statusAfter.value_or(0));
        EXPECT_EQ(rig.info.version(), versionAfter.value_or(areas.back()));
    }
}

TEST(Update, StartedAgainOnlyAfterAnEraseAndForWhatTheMidiPathLost) {
    // Lost or damaged on the way: 6, 7, 8, and the refused blocks 11, 12, 13.
    const std::set<StatusCode> again = {6, 7, 8, 11, 12, 13};
    for (StatusCode rc = 0; rc <= 22; ++rc) {
        EXPECT_EQ(worthStartingAgain(rc, true), again.count(rc) == 1) << rc;
        EXPECT_FALSE(worthStartingAgain(rc, false)) << rc;
    }
}

TEST(EstimateText, SecondsMinutesAndBlocks) {
    for (const auto& [bytes, blocks, time, text] :
         {std::tuple{0u, 0u, Clock::Duration(0ms), "about 1 s for 0.0 KiB in 0 blocks"},
          {65535, 513, 24'500ms, "about 25 s for 64.0 KiB in 513 blocks"},
          {65535, 513, 24'499ms, "about 24 s for 64.0 KiB in 513 blocks"},
          {10, 1, 200ms, "about 1 s for 0.0 KiB in 1 block"},  // never "0 s"
          {16384, 129, 99'400ms, "about 99 s for 16.0 KiB in 129 blocks"},
          {16384, 129, 99'500ms, "about 2 min for 16.0 KiB in 129 blocks"},
          {65535, 65536, 3'600s, "about 60 min for 64.0 KiB in 65536 blocks"}}) {
        EXPECT_EQ(estimateText({bytes, blocks, 0, 0}, time), text);
    }
}

// The plan counts data blocks, closing blocks and pauses (a control record's 1 s, the
// delay's 0.5 s), and its link estimate is the simulated Halden's own time when that takes
// no time itself: an error in the bytes counted on the wire shows here.
TEST(PlanUpdate, LinkEstimateMatchesTheSimulatedWire) {
    // The block size, the first area's length (at most 16384 blocks), the blocks planned.
    for (const auto& [blockSize, bytes, blocks] : {std::tuple{1u, 3000u, 3259u},
                                                   {2, 3000, 1631},
                                                   {128, 65535, 517},
                                                   {1000, 65535, 69},
                                                   {4083, 65535, 20}}) {
        test::Rig rig([&](SimOptions& o) { o.blockSize = static_cast<uint16_t>(blockSize); });
        Clock::Duration plannedAt{0};
        rig.progress.onPlanned = [&] {
            plannedAt = rig.clock.now();
            EXPECT_EQ(rig.link.sent.size(), 2u);  // told after the handshake and the identity
        };
        ImageBuilder builder;
        ASSERT_TRUE(builder.addControl(1).ok());
        ASSERT_TRUE(builder.addDelay(5).ok());
        ASSERT_TRUE(builder.addArea(test::ascending(bytes)).ok());
        ASSERT_TRUE(builder.addArea(test::ascending(257)).ok());
        ASSERT_EQ(runUpdate(rig.io, builder.finish(), rig.info), 0u);
        ASSERT_EQ(rig.progress.plans.size(), 1u);
        const UpdatePlan& plan = rig.progress.plans[0];
        EXPECT_EQ(std::tuple(plan.bytes, plan.blocks, plan.pauseTenths),
                  std::tuple(bytes + 257, blocks, 15u));
        EXPECT_EQ(measuredEstimate(plan, 1, 0ms), 1500ms);  // one block: no exchange to scale yet
        EXPECT_EQ(rig.link.sent.at(2), controlRequest(1));  // and before the first record
        const auto readBackAt = rig.link.times.back();      // the last message: the read-back
        const Clock::Duration estimate = *linkEstimate(plan, 31250);
        EXPECT_EQ(estimate - 1500ms, plan.wireBytes * 320us);  // 10 bits a byte
        EXPECT_NEAR(std::chrono::duration<double>(estimate - (readBackAt - plannedAt)).count(), 0,
                    0.001)
            << blockSize;
    }
}

}  // namespace
}  // namespace halden
