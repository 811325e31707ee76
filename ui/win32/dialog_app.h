// The Windows front end: the "DIALOG" window from its template, the message boxes, the
// file chooser and the progress window. Everything else of the app is DesktopCore's.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "app/desktop.h"
#include "ui/win32/progress_window.h"

namespace halden::win32 {

class DialogApp {
public:
    // `simulator` may be empty: the simulated Halden is not offered.
    DialogApp(HINSTANCE instance, const DesktopOptions& options, SimulatorFactory simulator);
    ~DialogApp();
    DialogApp(const DialogApp&) = delete;
    DialogApp& operator=(const DialogApp&) = delete;

    // Creates the window and runs it until it ends; returns the exit code.
    int run();

private:
    class Shell;
    class View;

    static INT_PTR CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int code);
    void setBusy(bool busy);
    bool takesNoInput(const MSG& msg) const;
    // Runs `fn` on the window's thread and waits for it.
    void onWindowThread(const std::function<void()>& fn);

    HINSTANCE instance_;
    HWND dialog_ = nullptr;
    DWORD windowThread_ = 0;
    std::atomic<bool> busy_{false};
    int exitCode_ = 0;
    std::unique_ptr<Shell> shell_;
    std::unique_ptr<DesktopCore> core_;
    std::unique_ptr<ProgressWindow> progress_;
    std::unique_ptr<View> view_;
};

}  // namespace halden::win32
