// The Windows console's stop events act as Cancel. (Wine here cannot raise real console
// events, so the handler is called as the system would call it.)
#include "cli/platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace halden::cli {
namespace {

TEST(StopSignals, CtrlCAndCtrlBreakCancel) {
    for (DWORD event : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}}) {
        CancelFlag cancel{false};
        catchStopSignals(&cancel);
        EXPECT_TRUE(onConsoleEvent(event)) << event;  // handled: the process goes on
        EXPECT_TRUE(cancel) << event;
        catchStopSignals(nullptr);
        EXPECT_FALSE(onConsoleEvent(event)) << event;  // no session: the default again
    }
}

// Closing the console: Windows ends the process when the handler returns, so it waits
// until the session has stopped after the message in flight.
TEST(StopSignals, ClosingTheConsoleWaitsForTheSessionToStop) {
    CancelFlag cancel{false};
    catchStopSignals(&cancel);
    std::atomic<bool> stopped{false};
    std::thread session([&] {
        while (!cancel) std::this_thread::yield();
        stopped = true;
        catchStopSignals(nullptr);
    });
    EXPECT_TRUE(onConsoleEvent(CTRL_CLOSE_EVENT));
    EXPECT_TRUE(stopped);
    session.join();
}

}  // namespace
}  // namespace halden::cli
