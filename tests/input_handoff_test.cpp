#include "transport/input_handoff.h"

#include <gtest/gtest.h>

#include <mutex>
#include <semaphore>

#include "rig.h"

namespace halden {
namespace {

using test::ascending;

// What the handoff's thread delivered, with a way to wait for the n-th message.
struct Delivered {
    void take(ByteView m) {
        std::lock_guard lock(mutex);
        messages.emplace_back(m.begin(), m.end());
        arrived.release();
    }
    std::vector<Bytes> waitFor(size_t n) {
        for (size_t i = 0; i < n; ++i) arrived.acquire();
        std::lock_guard lock(mutex);
        return messages;
    }
    std::mutex mutex;
    std::vector<Bytes> messages;
    std::counting_semaphore<> arrived{0};
};

// Sizes that leave every offset of a small ring at its end in turn: lengths and bodies
// are split across the wrap.
TEST(InputHandoff, MessagesArriveWholeAndInOrderAcrossTheRingsEnd) {
    Delivered delivered;
    InputHandoff handoff([&](ByteView m) { delivered.take(m); }, 64);
    std::vector<Bytes> sent;
    for (size_t i = 0; i < 300; ++i) {
        sent.push_back(ascending(i * 7 % 58, static_cast<uint8_t>(i)));
        ASSERT_TRUE(handoff.push(sent.back())) << i;
        ASSERT_EQ(delivered.waitFor(1).size(), i + 1);  // each in turn: never full
    }
    EXPECT_EQ(delivered.waitFor(0), sent);
    EXPECT_EQ(handoff.dropped(), 0u);
}

// A receiver that is slow to take a message: the ring fills, and what does not fit is
// dropped whole, while what still fits (and everything after) arrives intact.
TEST(InputHandoff, AFullRingDropsWholeMessages) {
    Delivered delivered;
    std::binary_semaphore entered{0}, gate{0};
    bool first = true;
    InputHandoff handoff(
        [&](ByteView m) {
            if (first) {
                first = false;
                entered.release();
                gate.acquire();
            }
            delivered.take(m);
        },
        64);
    const Bytes slow = ascending(60, 1), a = ascending(20, 2), b = ascending(20, 3),
                tooMany = ascending(20, 4), small = ascending(12, 5), after = ascending(40, 6);
    ASSERT_TRUE(handoff.push(slow));
    entered.acquire();  // taken out of the ring: all 64 bytes are free again
    EXPECT_TRUE(handoff.push(a));
    EXPECT_TRUE(handoff.push(b));
    EXPECT_FALSE(handoff.push(tooMany));  // 4 + 20 in the 16 left
    EXPECT_TRUE(handoff.push(small));     // 4 + 12: exactly the room left
    EXPECT_FALSE(handoff.push(ascending(1, 7)));
    EXPECT_EQ(handoff.dropped(), 2u);
    gate.release();
    EXPECT_EQ(delivered.waitFor(4), (std::vector<Bytes>{slow, a, b, small}));
    ASSERT_TRUE(handoff.push(after));
    EXPECT_EQ(delivered.waitFor(1).back(), after);
    EXPECT_FALSE(handoff.push(ascending(61, 8)));  // never fits, with its length
}

}  // namespace
}  // namespace halden
