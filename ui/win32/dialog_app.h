// The Windows front end: the "DIALOG" window from its template, the message boxes, the
// file chooser, and the worker thread on which every command of the main window runs,
// so that the window keeps painting while the engine waits for the Halden.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "engine/receiver.h"
#include "sim/halden_sim.h"
#include "transport/real_clock.h"
#include "ui/app_ports.h"
#include "ui/command_worker.h"
#include "ui/main_window.h"
#include "ui/registry_port_settings.h"
#include "ui/win32/progress_window.h"

namespace halden::win32 {

struct DialogOptions {
    bool simulate = false;
    SimOptions sim;
};

class DialogApp {
public:
    DialogApp(HINSTANCE instance, const DialogOptions& options);
    ~DialogApp();
    DialogApp(const DialogApp&) = delete;
    DialogApp& operator=(const DialogApp&) = delete;

    // Creates the window and runs it until it ends; returns the exit code.
    int run();

private:
    class Boxes;
    class View;

    static INT_PTR CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int code);
    void setBusy(bool busy);
    bool takesNoInput(const MSG& msg) const;
    // Runs `fn` on the window's thread and waits for it.
    void onWindowThread(const std::function<void()>& fn);
    void finishCommands();

    HINSTANCE instance_;
    HWND dialog_ = nullptr;
    DWORD windowThread_ = 0;
    RealClock clock_;
    CancelFlag cancel_{false};
    SysExReceiver receiver_{clock_, cancel_};
    std::atomic<bool> closing_{false};
    std::atomic<bool> busy_{false};
    int exitCode_ = 0;
    std::unique_ptr<Boxes> boxes_;
    std::unique_ptr<ProgressWindow> progress_;
    std::unique_ptr<View> view_;
    std::unique_ptr<AppPorts> ports_;
    std::unique_ptr<RegistryPortSettings> settings_;
    std::unique_ptr<EngineIo> io_;
    std::unique_ptr<MainWindow> window_;
    CommandWorker worker_;
};

}  // namespace halden::win32
