// The update procedure on a simulated Halden. (Every fault, Cancel and a failing port at
// every step of an update: fault_matrix_test.cpp.)
#include <gtest/gtest.h>

#include <set>

#include "rig.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::ascending;
using test::imageWithArea;
using test::ProgressEvent;
using test::Rig;

TEST(Connect, SilentHaldenGetsTenRequestsThreeSecondsApart) {
    Rig rig([&](SimOptions& o) { o.silent = true; });
    EXPECT_EQ(connectDevice(rig.io, rig.info), 7u);
    ASSERT_EQ(rig.link.sent.size(), 10u);
    for (size_t i = 0; i < rig.link.sent.size(); ++i) {
        EXPECT_EQ(rig.link.sent[i], controlRequest(2));
        if (i > 0) {
            EXPECT_EQ(rig.link.times[i] - rig.link.times[i - 1], 3000ms + rig.halden.wireTime(8));
        }
    }
    EXPECT_EQ(rig.progress.percents("Connecting..."),
              (std::vector<int>{0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));
}

TEST(VerifyAfterUpdate, AsksUntilAnAnswerAtMostTheTriesGiven) {
    struct Case {
        unsigned answerFrom, tries;
        StatusCode expected;
        std::vector<int> percents;  // one a request
    };
    const Case cases[] = {{3, 10, 0, {0, 10, 20, 30}},
                          {99, 10, 7, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
                          {1, 0, 0, {0}}};
    for (const Case& c : cases) {
        Rig rig([&](SimOptions& o) { o.answerFrom = c.answerFrom; });
        EXPECT_EQ(verifyAfterUpdate(rig.io, rig.info, c.tries), c.expected) << c.answerFrom;
        EXPECT_EQ(rig.countSent(0x11), c.percents.size() - 1) << c.answerFrom;
        EXPECT_EQ(rig.progress.percents("Reading updated version #..."), c.percents);
        EXPECT_EQ(rig.info.versionText, c.expected == 0 && c.tries ? "1.4" : "");
    }
}

TEST(Update, ReferenceImageSendsExactlyThreeMessagesAndIsNotProven) {
    Rig rig([&](SimOptions& o) { o.imageStatus = 1; });
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
    EXPECT_EQ(sent[5], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x11, 0xF7}));
    EXPECT_EQ(rig.halden.memory(), (Bytes{0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(rig.info.versionText, "10.11");  // the simulator's convention
}

// Each area: one erase of area 0, blocks numbered from 0, the empty closing block.
TEST(Update, ErasesEachAreaAndSplitsItIntoBlocks) {
    struct Case {
        std::vector<size_t> areas;
        const char* trace;  // E erase; number:length a block
        std::vector<int> percents;
    };
    const Case cases[] = {
        {{300}, "E0 0:128 1:128 2:44 3:0", {0, 33, 66}},
        {{256}, "E0 0:128 1:128 2:0", {0, 33}},
        {{0}, "E0 0:0", {}},
        {{1}, "E0 0:1 1:0", {0}},
        {{127}, "E0 0:127 1:0", {0}},
        {{200, 130}, "E0 0:128 1:72 2:0 E0 0:128 1:2 2:0", {0, 50, 0, 50}},
    };
    for (const Case& c : cases) {
        ImageBuilder builder;
        for (size_t length : c.areas) EXPECT_TRUE(builder.addArea(ascending(length, 1)).ok());
        Rig rig;
        ASSERT_EQ(runUpdate(rig.io, builder.finish(), rig.info), 0u) << c.trace;
        std::string trace;
        for (const auto& m : rig.link.sent) {
            const ByteView body = test::bodyOf(m);
            if (body[0] == 0x13) trace += " E" + std::to_string(*protocol::requestArgument(body));
            if (const auto block = protocol::decodeBlockWrite(body)) {
                trace += " " + std::to_string(block->number) + ":" +
                         std::to_string(block->payload.size());
            }
        }
        EXPECT_EQ(trace.substr(1), c.trace);
        EXPECT_EQ(rig.progress.percents("Updating Halden area..."), c.percents) << c.trace;
    }
}

// A control record sends its code and pauses 1 s; a delay of 20 waits 2 s with its bar.
TEST(Update, ControlAndDelayRecords) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addControl(3).ok());
    EXPECT_TRUE(builder.addDelay(20).ok());
    builder.addSkip();
    Rig rig;
    std::vector<Clock::Duration> times;
    rig.progress.onSet = [&](std::string_view caption, int) {
        if (caption == "Delaying...") times.push_back(rig.clock.now());
    };
    EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), 0u);
    ASSERT_EQ(rig.link.sent.size(), 4u);  // handshake, identity, control, read-back
    EXPECT_EQ(rig.link.sent[2], (Bytes{0xF0, 0x41, 0x10, 0x4B, 0x39, 0x10, 0x03, 0xF7}));
    EXPECT_EQ(times.front() - rig.link.times[2], 1000ms + rig.halden.wireTime(8));
    EXPECT_EQ(times.back() - times.front(), 2000ms);
    EXPECT_EQ(rig.progress.percents("Delaying..."),
              (std::vector<int>{0,  0,  5,  10, 15, 20, 25, 30, 35, 40, 45,
                                50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100}));
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
    struct Case {
        uint8_t status;
        Version halden;
        std::vector<Version> areas;  // 0x7F 0x7F carries no version
        std::vector<std::string> questions;
    };
    const Version none{0x7F, 0x7F};
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
    for (const Case& c : cases) {
        ImageBuilder builder;
        EXPECT_TRUE(builder.addControl(1).ok());
        for (const Version& v : c.areas)
            EXPECT_TRUE(builder.addArea(ascending(10), v.major, v.minor).ok());
        const Bytes image = builder.finish();
        for (const bool yes : {false, true}) {
            Rig rig([&](SimOptions& o) {
                o.version = c.halden;
                o.imageStatus = c.status;
            });
            rig.boxes.answer = yes;
            UpdateProgress done;
            const StatusCode rc = runUpdate(rig.io, image, rig.info, done);
            SCOPED_TRACE(std::to_string(c.areas.size()) + " areas, " +
                         std::to_string(c.areas[0].minor) + (yes ? ", yes" : ", no"));
            const size_t asked = yes ? c.questions.size() : !c.questions.empty();  // No ends it
            EXPECT_EQ(rig.boxes.questions,
                      std::vector(c.questions.begin(), c.questions.begin() + asked));
            if (yes || c.questions.empty()) {
                EXPECT_EQ(rig.countSent(0x13), c.areas.size());
                // Closed for each up-to-date question and opened again after it.
                const auto& ev = rig.progress.events;
                const auto opened = std::count(ev.begin(), ev.end(), ProgressEvent{"open"});
                EXPECT_EQ(opened, 3 + std::count(c.questions.begin(), c.questions.end(), same));
                EXPECT_EQ(std::count(ev.begin(), ev.end(), ProgressEvent{"close"}), opened);
            } else {
                EXPECT_EQ(rc, 5u);
                EXPECT_FALSE(done.erased);
                // An older image: not even the control record.
                EXPECT_EQ(rig.countSent(0x10), c.questions[0] == same ? 2u : 1u);
            }
        }
    }
}

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
        Rig rig([&](SimOptions& o) {
            o.blockSize = c.blockSize;
            o.baud = 0;
        });
        rig.link.maxMessage = c.portMax;
        ImageBuilder builder;
        EXPECT_TRUE(builder.addControl(1).ok());
        const Bytes data = ascending(c.areaLength, 2);
        EXPECT_TRUE(builder.addArea(data).ok());
        EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), c.expected) << c.name;
        EXPECT_EQ(rig.progress.plans.size(), c.expected == 0 ? 1u : 0u) << c.name;
        if (c.expected == 0) {
            EXPECT_EQ(rig.halden.memory(), data) << c.name;
        } else {
            EXPECT_EQ(rig.sentCommands(), (std::vector<uint8_t>{0x10, 0x11})) << c.name;
        }
    }
}

// After the handshake, an image that is not valid is refused; one without areas runs even
// on a Halden of block size 0.
TEST(Update, TheImageIsCheckedAfterTheHandshake) {
    Bytes invalid = imageWithArea(ascending(10));
    invalid[5] ^= 1;
    ImageBuilder builder;
    EXPECT_TRUE(builder.addControl(1).ok());
    for (const auto& [image, expected, commands] :
         {std::tuple{invalid, 2u, std::vector<uint8_t>{0x10, 0x11}},
          {builder.finish(), 0u, {0x10, 0x11, 0x10, 0x11}}}) {
        Rig rig([&](SimOptions& o) { o.blockSize = 0; });
        EXPECT_EQ(runUpdate(rig.io, image, rig.info), expected);
        EXPECT_EQ(rig.sentCommands(), commands);
    }
}

// A Halden that is slow to answer, but within each wait's budget.
TEST(Update, ASlowHaldenWithinTheBudgets) {
    for (const bool slowLink : {true, false}) {
        Rig rig([&](SimOptions& o) {
            o.latency = slowLink ? 800ms : 0ms;
            o.eraseTime = slowLink ? 0s : 8s;  // the erase waits 8.8 s at most
            o.writeTime = slowLink ? 0s : 9s;  // a block 10 s
        });
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
        Rig rig([&](SimOptions& o) {
            o.statusAfterUpdate = c.statusAfter;
            o.versionAfterUpdate = c.versionAfter;
        });
        rig.boxes.answer = true;
        ImageBuilder builder;
        for (const Version& v : c.areas) {
            Bytes data = ascending(200);
            data[0] = v.major == 0x7F ? 1 : v.major;  // the firmware's own version bytes
            data[1] = v.minor == 0x7F ? 5 : v.minor;
            EXPECT_TRUE(builder.addArea(data, v.major, v.minor).ok());
        }
        EXPECT_EQ(runUpdate(rig.io, builder.finish(), rig.info), c.expected) << c.name;
        // The identity is the one read back, whatever it proves.
        EXPECT_EQ(rig.info.imageStatus, c.statusAfter.value_or(0)) << c.name;
        if (c.versionAfter) {
            EXPECT_EQ(rig.info.version(), *c.versionAfter) << c.name;
        }
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

}  // namespace
}  // namespace halden
