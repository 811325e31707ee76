// The sending side: the send thread, and the meter that times the transfer.
#include "transport/send_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "cli/transfer_meter.h"
#include "rig.h"
#include "sim/virtual_clock.h"
#include "transport/real_clock.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using cli::TransferMeter;
using cli::transferText;
using test::eventually;

const Bytes kMessage{0xF0, 0x7D, 0xF7};

TEST(SendThread, ReportsWhatTheSendSaid) {
    RealClock clock;
    for (const std::string& error : {std::string(), std::string("port closed")}) {
        Bytes seen;
        SendThread sender(
            [&](ByteView m) {
                seen.assign(m.begin(), m.end());
                return error;
            },
            clock, 60s);
        EXPECT_EQ(sender.send(kMessage), error.empty());
        EXPECT_EQ(sender.error(), error);
        EXPECT_EQ(seen, kMessage);
        EXPECT_FALSE(sender.stuck());
    }
}

// A send that does not return in time: the sender gives up at the deadline (virtual
// time: at once), sends nothing more, and may be destroyed while the send is still
// inside the MIDI library. When the library returns at last, the thread finishes
// without touching what is gone and lets go of everything it held.
TEST(SendThread, AStuckSendOutlivesTheSender) {
    VirtualClock clock;
    std::atomic<bool> release{false};
    std::atomic<int> calls{0};
    auto probe = std::make_shared<int>(0);
    const std::weak_ptr<int> held = probe;
    {
        SendThread sender(
            [&release, &calls, probe](ByteView) {
                ++calls;
                while (!release) std::this_thread::yield();
                return std::string();
            },
            clock, 3s);
        probe.reset();
        // The thread is inside the MIDI library 1 ms into the send.
        clock.at(1ms, [&] { ASSERT_TRUE(eventually([&] { return calls == 1; })); });
        EXPECT_FALSE(sender.send(kMessage));
        EXPECT_TRUE(sender.stuck());
        EXPECT_EQ(clock.now(), 3s);
        EXPECT_FALSE(sender.send(kMessage));  // nothing more goes out
    }
    release = true;
    EXPECT_TRUE(eventually([&] { return held.expired(); }));
    EXPECT_EQ(calls, 1);
}

TEST(TransferText, BytesRateAndTimeLeft) {
    // Bytes written, of how many, in how long (no time yet: no rate).
    for (const auto& [done, total, elapsed, text] :
         {std::tuple{8192u, 16384u, Clock::Duration(0s), "8.0 of 16.0 KiB"},
          {8192, 16384, 4s, "8.0 of 16.0 KiB, 2.0 KiB/s, 0:04 left"},
          // All written: the read-back that follows is no transfer to time.
          {16384, 16384, 8s, "16.0 of 16.0 KiB written"},
          {1024, 65535, 10s, "1.0 of 64.0 KiB, 0.1 KiB/s, 10:30 left"},
          {100, 65535, 100s, "0.1 of 64.0 KiB, 0.0 KiB/s, 18:10:35 left"}}) {
        EXPECT_EQ(transferText(done, total, elapsed), text) << done;
    }
}

struct MeterRig {
    VirtualClock clock;
    std::vector<std::pair<std::string, bool>> told;  // the text, whether from the link's speed
    TransferMeter meter{clock, [this](const std::string& text, Clock::Duration, bool fromLink) {
                            told.emplace_back(text, fromLink);
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
    // The link's speed, the time between blocks, the blocks after which it is told.
    for (const auto& [baud, gap, toldAfter, text] :
         {std::tuple{31250u, Clock::Duration(50ms), 0u, "about 8 s for 16.0 KiB in 129 blocks"},
          // 7 exchanges of 50 ms: 129 blocks of 50 ms and 1.5 s of pauses.
          {0, 50ms, 8, "about 8 s for 16.0 KiB in 129 blocks"},
          {0, 1000ms, 3, "about 2 min for 16.0 KiB in 129 blocks"}}) {
        MeterRig rig;
        rig.meter.plan(rig.plan, baud);
        if (toldAfter > 0) {
            rig.blocks(toldAfter - 1, gap);
            EXPECT_TRUE(rig.told.empty()) << text;
            rig.clock.sleepFor(gap);
            rig.meter.sent(blockWrite(99, Bytes(128, 0)));
        }
        ASSERT_EQ(rig.told.size(), 1u) << text;
        EXPECT_EQ(rig.told[0], std::pair(std::string(text), baud != 0));
        rig.blocks(10, gap);
        EXPECT_EQ(rig.told.size(), 1u);
    }
}

}  // namespace
}  // namespace halden
