#include "cli/transfer_meter.h"

#include <gtest/gtest.h>

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
        {16384, 16384, 8s, "16.0 of 16.0 KiB, 2.0 KiB/s, 0:00 left"},
        {1024, 65535, 10s, "1.0 of 64.0 KiB, 0.1 KiB/s, 10:30 left"},
        {100, 65535, 100s, "0.1 of 64.0 KiB, 0.0 KiB/s, 18:10:35 left"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(transferText(c.done, c.total, c.elapsed), c.text) << c.done;
    }
}

}  // namespace
}  // namespace halden::cli
