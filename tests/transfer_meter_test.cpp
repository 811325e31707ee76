#include "cli/transfer_meter.h"

#include <gtest/gtest.h>

#include "engine/device.h"
#include "sim/virtual_clock.h"

namespace halden::cli {
namespace {

using namespace std::chrono_literals;

TEST(TransferText, BytesRateAndTimeLeft) {
    struct Case {
        size_t done, total;
        Clock::Duration elapsed;
        const char* text;
    };
    const Case cases[] = {
        {0, 16384, 0s, "0.0 of 16.0 KiB"},
        {8192, 16384, 0s, "8.0 of 16.0 KiB"},  // no time yet: no rate
        {8192, 16384, 4s, "8.0 of 16.0 KiB, 2.0 KiB/s, 0:04 left"},
        // All written: the read-back that follows is no transfer to time.
        {16384, 16384, 8s, "16.0 of 16.0 KiB written"},
        {1024, 65535, 10s, "1.0 of 64.0 KiB, 0.1 KiB/s, 10:30 left"},
        {100, 65535, 100s, "0.1 of 64.0 KiB, 0.0 KiB/s, 18:10:35 left"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(transferText(c.done, c.total, c.elapsed), c.text) << c.done;
    }
}

struct Told {
    std::string text;
    Clock::Duration time;
    bool fromLink;
};

struct MeterRig {
    VirtualClock clock;
    std::vector<Told> told;
    TransferMeter meter{clock,
                        [this](const std::string& text, Clock::Duration time, bool fromLink) {
                            told.push_back({text, time, fromLink});
                        }};
    UpdatePlan plan{.bytes = 16384, .blocks = 129, .wireBytes = 19300, .pauseTenths = 15};

    // Sends `n` blocks, `gap` apart, the first one now.
    void blocks(size_t n, Clock::Duration gap) {
        const Bytes data(128, 0);
        for (size_t i = 0; i < n; ++i) {
            if (i > 0) clock.sleepFor(gap);
            meter.sent(blockWrite(static_cast<uint16_t>(i), data));
        }
    }
};

// Told once: for a link of known speed before anything is sent, otherwise from the time
// of the first eight blocks, or of two seconds of them.
TEST(TransferMeter, TellsTheEstimateOnce) {
    struct Case {
        unsigned baud;
        Clock::Duration gap;
        size_t toldAfter;  // blocks
        const char* text;
    };
    const Case cases[] = {
        {31250, 50ms, 0, "about 8 s for 16.0 KiB in 129 blocks"},
        // 7 exchanges of 50 ms: 129 blocks of 50 ms and 1.5 s of pauses.
        {0, 50ms, 8, "about 8 s for 16.0 KiB in 129 blocks"},
        {0, 1000ms, 3, "about 2 min for 16.0 KiB in 129 blocks"},
        {0, 3000ms, 2, "about 6 min for 16.0 KiB in 129 blocks"},
    };
    for (const Case& c : cases) {
        MeterRig rig;
        rig.meter.plan(rig.plan, c.baud);
        if (c.toldAfter > 0) {
            rig.blocks(c.toldAfter - 1, c.gap);
            EXPECT_TRUE(rig.told.empty()) << c.text;
            rig.clock.sleepFor(c.gap);
            rig.meter.sent(blockWrite(99, Bytes(128, 0)));
        }
        ASSERT_EQ(rig.told.size(), 1u) << c.text;
        EXPECT_EQ(rig.told[0].fromLink, c.baud != 0);
        EXPECT_EQ(rig.told[0].text, c.text);
        rig.blocks(10, c.gap);
        EXPECT_EQ(rig.told.size(), 1u);
    }
}

TEST(TransferMeter, TheProgressTextCountsOnlyBlockData) {
    MeterRig rig;
    rig.meter.plan(rig.plan, 0);
    EXPECT_EQ(rig.meter.text(), "");
    rig.meter.sent(eraseRequest(0));
    EXPECT_EQ(rig.meter.text(), "");
    rig.blocks(64, 0ms);
    EXPECT_EQ(rig.meter.text(), "8.0 of 16.0 KiB");
}

}  // namespace
}  // namespace halden::cli
