#include "transport/alsa/wire_pacer.h"

#include <gtest/gtest.h>

namespace halden {
namespace {

using std::chrono::milliseconds;

// A buffer of 100 bytes that empties at 1000 bytes a second (a byte a millisecond).
TEST(WirePacer, KeepsTheBufferFromOverflowing) {
    WirePacer pacer(100, 1000);
    EXPECT_EQ(pacer.waitBefore(100, milliseconds(0)), milliseconds(0));  // empty: all fit
    pacer.sent(100, milliseconds(0));
    EXPECT_EQ(pacer.waitBefore(1, milliseconds(0)), milliseconds(1));
    EXPECT_EQ(pacer.waitBefore(40, milliseconds(10)), milliseconds(30));  // 90 still queued
    EXPECT_EQ(pacer.waitBefore(40, milliseconds(40)), milliseconds(0));
    pacer.sent(40, milliseconds(40));  // queued: 60 + 40
    EXPECT_EQ(pacer.waitBefore(10, milliseconds(40)), milliseconds(10));
    EXPECT_EQ(pacer.waitBefore(150, milliseconds(500)), milliseconds(50));  // more than fits
    pacer.drained(milliseconds(41));  // an answer: everything before it has arrived
    EXPECT_EQ(pacer.waitBefore(100, milliseconds(41)), milliseconds(0));
}

}  // namespace
}  // namespace halden
