#include "transport/send_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "rig.h"
#include "sim/virtual_clock.h"
#include "transport/real_clock.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
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

}  // namespace
}  // namespace halden
