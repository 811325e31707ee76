#include "ui/win32/progress_window.h"

#include <commctrl.h>

#include <condition_variable>
#include <string>
#include <system_error>

#include "app/control_ids.h"
#include "app/wide_text.h"

namespace halden::win32 {

namespace {

// Messages the operation's thread sends to the window's thread.
constexpr UINT kApply = WM_APP + 1;  // wParam: percent, lParam: const wchar_t* caption
constexpr UINT kEnd = WM_APP + 2;

}  // namespace

ProgressWindow::ProgressWindow(HINSTANCE instance, std::function<void()> onCancel,
                               const std::atomic<bool>& closing, ThreadStarter startThread)
    : instance_(instance),
      onCancel_(std::move(onCancel)),
      closing_(closing),
      startThread_(startThread ? std::move(startThread) : [](std::function<void()> fn) {
          return std::thread(std::move(fn));
      }) {}

ProgressWindow::~ProgressWindow() {
    close();
    joinEnded();
}

HWND ProgressWindow::window() const {
    std::lock_guard lock(mutex_);
    return window_;
}

void ProgressWindow::joinEnded() {
    if (thread_.joinable()) thread_.join();
}

void ProgressWindow::open() {
    if (closing_) return;
    close();  // at most one at a time
    {
        std::lock_guard lock(mutex_);
        started_ = false;
    }
    try {
        thread_ = startThread_([this] { run(); });
    } catch (const std::system_error&) {
        // No thread, no window: the operation goes on without one.
        return;
    }
    std::unique_lock lock(mutex_);
    startedChanged_.wait(lock, [this] { return started_; });
}

void ProgressWindow::started(HWND window) {
    std::lock_guard lock(mutex_);
    window_ = window;
    started_ = true;
    startedChanged_.notify_all();
}

void ProgressWindow::run() {
    // No owner: the window belongs to this thread alone. If it cannot be made, the
    // operation goes on without it.
    DialogBoxParamW(instance_, L"PROGRESS", nullptr, &ProgressWindow::procedure,
                    reinterpret_cast<LPARAM>(this));
    started(nullptr);
}

void ProgressWindow::set(std::string_view caption, int percent) {
    const HWND window = this->window();
    if (!window) return;
    const std::wstring text = widen(caption);
    SendMessageW(window, kApply, static_cast<WPARAM>(percent),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

void ProgressWindow::close() {
    if (const HWND window = this->window()) SendMessageA(window, kEnd, 0, 0);
    joinEnded();
}

INT_PTR CALLBACK ProgressWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(window, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            self = reinterpret_cast<ProgressWindow*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            self->started(window);
            return TRUE;
        case kApply:
            SetDlgItemTextW(window, IDC_PROGRESS_CAPTION, reinterpret_cast<const wchar_t*>(lParam));
            SendDlgItemMessageA(window, IDC_PROGRESS_BAR, PBM_SETPOS, wParam, 0);
            return TRUE;
        case kEnd:
            EndDialog(window, 0);
            return TRUE;
        case WM_CLOSE:
            // Alt+F4 or the system: refused. While firmware is being written the user
            // must see the progress and keep Cancel; the operation ends the window.
            return TRUE;
        case WM_DESTROY: {
            std::lock_guard lock(self->mutex_);
            self->window_ = nullptr;
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_PROGRESS_CANCEL && HIWORD(wParam) == BN_CLICKED) {
                self->onCancel_();  // a wait for the Halden ends at once
            }
            // Every other command, Escape's included, is ignored.
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace halden::win32
