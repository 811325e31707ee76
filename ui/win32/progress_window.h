// The "PROGRESS" window on a thread of its own: a caption, a bar from 0 to 100 and a
// Cancel button that sets the cancel flag. Opened and closed by each long operation.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/host.h"

namespace halden::win32 {

class ProgressWindow : public Progress {
public:
    // Starts the window's thread; throws std::system_error when it cannot.
    using ThreadStarter = std::function<std::thread(std::function<void()>)>;
    // `onCancel`: the Cancel button. `closing`: the app is going; nothing more is opened.
    ProgressWindow(HINSTANCE instance, std::function<void()> onCancel,
                   const std::atomic<bool>& closing, ThreadStarter startThread = {});
    ~ProgressWindow() override;

    // Starts the window's thread and returns once the window exists (or failed to; then
    // the operation goes on without one).
    void open() override;
    // Applied by the window's thread before this returns; nothing when no window is open.
    void set(std::string_view caption, int percent) override;
    // When this returns the window and its thread are gone.
    void close() override;

    // The window, while it exists (for tests and for the front end).
    HWND window() const;

private:
    static INT_PTR CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
    void run();
    void started(HWND window);  // on the window's thread: the window exists, or never will
    void joinEnded();

    HINSTANCE instance_;
    std::function<void()> onCancel_;
    const std::atomic<bool>& closing_;
    ThreadStarter startThread_;
    mutable std::mutex mutex_;
    std::condition_variable startedChanged_;
    bool started_ = false;
    HWND window_ = nullptr;  // published by the window's thread, cleared as it ends
    std::thread thread_;
};

}  // namespace halden::win32
