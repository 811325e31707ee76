// The progress window of the Windows app, with its template linked in.
#include "ui/win32/progress_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <system_error>

namespace halden::win32 {
namespace {

// A system that cannot start another thread: the operation goes on without a window,
// rather than the exception ending the program.
TEST(ProgressWindow, AThreadThatCannotStartLeavesNoWindow) {
    std::atomic<bool> closing{false};
    ProgressWindow progress(
        GetModuleHandleW(nullptr), [] {}, closing,
        [](std::function<void()>) -> std::thread {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        });
    EXPECT_NO_THROW(progress.open());
    EXPECT_EQ(progress.window(), nullptr);
    progress.set("Updating Halden area...", 50);
    progress.close();
}

}  // namespace
}  // namespace halden::win32
