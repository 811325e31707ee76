#include "engine/estimate.h"

#include <gtest/gtest.h>

#include "rig.h"

namespace halden {
namespace {

using namespace std::chrono_literals;

TEST(EstimateText, SecondsMinutesAndBlocks) {
    struct Case {
        size_t bytes, blocks;
        Clock::Duration time;
        const char* text;
    };
    const Case cases[] = {
        {65535, 513, 24'500ms, "about 25 s for 64.0 KiB in 513 blocks"},
        {65535, 513, 24'499ms, "about 24 s for 64.0 KiB in 513 blocks"},
        {10, 1, 200ms, "about 1 s for 0.0 KiB in 1 block"},  // never "0 s"
        {0, 0, 0ms, "about 1 s for 0.0 KiB in 0 blocks"},
        {16384, 129, 99'400ms, "about 99 s for 16.0 KiB in 129 blocks"},
        {16384, 129, 99'500ms, "about 2 min for 16.0 KiB in 129 blocks"},
        {65535, 65536, 3'600s, "about 60 min for 64.0 KiB in 65536 blocks"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(estimateText({c.bytes, c.blocks, 0, 0}, c.time), c.text);
    }
}

TEST(PlanUpdate, CountsDataBlocksClosingBlocksAndPauses) {
    ImageBuilder builder;
    ASSERT_TRUE(builder.addControl(1).ok());
    ASSERT_TRUE(builder.addDelay(5).ok());
    ASSERT_TRUE(builder.addArea(test::ascending(256)).ok());  // 2 blocks and the closing one
    ASSERT_TRUE(builder.addArea(test::ascending(257)).ok());  // 3 and the closing one
    std::vector<Record> records;
    ASSERT_EQ(parseImage(builder.finish(), records), 0u);
    DeviceInfo info;
    info.blockSize = 128;
    const UpdatePlan plan = planUpdate(records, info);
    EXPECT_EQ(plan.bytes, 513u);
    EXPECT_EQ(plan.blocks, 7u);
    EXPECT_EQ(plan.pauseTenths, 15u);
    // 10 bits a byte: 3125 bytes a second.
    EXPECT_EQ(*linkEstimate(plan, 31250) - 1500ms, plan.wireBytes * 320us);
    EXPECT_EQ(measuredEstimate(plan, 1, 0ms), 1500ms);  // one block: no exchange to scale yet
}

// The link estimate is the simulated Halden's own time when it takes no time itself:
// an error in the bytes counted on the wire shows here.
TEST(PlanUpdate, LinkEstimateMatchesTheSimulatedWire) {
    for (uint16_t blockSize : {1, 2, 128, 1000, 4083}) {
        test::Rig rig([&](SimOptions& o) { o.blockSize = blockSize; });
        Clock::Duration plannedAt{0};
        size_t sentBeforePlan = 0;
        rig.progress.onPlanned = [&] {
            plannedAt = rig.clock.now();
            sentBeforePlan = rig.link.sent.size();
        };
        const size_t bytes = blockSize < 4 ? 3000 : 65535;  // at most 16384 blocks
        ASSERT_EQ(runUpdate(rig.io, test::imageWithArea(test::ascending(bytes)), rig.info), 0u);
        ASSERT_EQ(rig.progress.plans.size(), 1u);
        // Told after the handshake and the identity, before the erase.
        EXPECT_EQ(sentBeforePlan, 2u);
        EXPECT_EQ(rig.link.sent.at(sentBeforePlan)[5], 0x13);
        EXPECT_EQ(rig.link.sent.back()[5], 0x11);  // the read-back, which the wire time ends at
        const auto readBackAt = rig.link.times.back();
        const Clock::Duration estimate = *linkEstimate(rig.progress.plans[0], 31250);
        EXPECT_NEAR(std::chrono::duration<double>(estimate - (readBackAt - plannedAt)).count(), 0,
                    0.001)
            << blockSize;
    }
}

}  // namespace
}  // namespace halden
