#include "ui/win32/dialog_app.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "app/control_ids.h"
#include "app/wide_text.h"

namespace halden::win32 {

namespace {

constexpr UINT kRun = WM_APP + 10;     // lParam: const std::function<void()>*, waited for
constexpr UINT kPosted = WM_APP + 11;  // lParam: std::function<void()>*, owned by the message

// Whether the focus is now in this window: focus that goes to another window (a message
// box, the progress window, another program) is not the user leaving a control, and
// must not check the file name again, or each error box would bring up the next.
bool focusStaysIn(HWND dialog) {
    const HWND now = GetFocus();
    return now && (now == dialog || IsChild(dialog, now));
}

// What a control's notification means to the main window.
Notification notificationOf(HWND dialog, int id, int code) {
    if (id == IDC_TRANSMIT || id == IDC_RECEIVE) {
        switch (code) {
            case CBN_SELCHANGE:
                return Notification::SelectionChanged;
            case CBN_SETFOCUS:
                return Notification::FocusIn;
            case CBN_KILLFOCUS:
                return focusStaysIn(dialog) ? Notification::FocusOut : Notification::Other;
            case CBN_EDITCHANGE:
                return Notification::TextChanged;
            case CBN_DROPDOWN:
                return Notification::DropDown;
            case CBN_CLOSEUP:
                return Notification::CloseUp;
            default:
                return Notification::Other;
        }
    }
    if (id == IDC_FILENAME) {
        switch (code) {
            case EN_SETFOCUS:
                return Notification::FocusIn;
            case EN_KILLFOCUS:
                return focusStaysIn(dialog) ? Notification::FocusOut : Notification::Other;
            case EN_CHANGE:
                return Notification::TextChanged;
            default:
                return Notification::Other;
        }
    }
    return code == BN_CLICKED ? Notification::Clicked : Notification::Other;
}

bool isControl(int id) {
    switch (id) {
        case IDC_CONNECT:
        case IDC_UPDATE:
        case IDC_TRANSMIT:
        case IDC_RECEIVE:
        case IDC_FILENAME:
        case IDC_FINDIMAGE:
        case IDC_EXIT:
            return true;
        default:
            return false;
    }
}

std::string windowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return narrow(text);
}

std::string entryText(HWND list, int position) {
    std::wstring entry(static_cast<size_t>(SendMessageW(list, CB_GETLBTEXTLEN, position, 0)) + 1,
                       L'\0');
    entry.resize(static_cast<size_t>(
        SendMessageW(list, CB_GETLBTEXT, position, reinterpret_cast<LPARAM>(entry.data()))));
    return narrow(entry);
}

// A drop-down list as wide as its longest entry, so that no port name is cut.
void fitDropDown(HWND list, const std::vector<std::wstring>& entries) {
    const HDC dc = GetDC(list);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (const std::wstring& e : entries) {
        SIZE size{};
        GetTextExtentPoint32W(dc, e.c_str(), static_cast<int>(e.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    RECT box{};
    GetWindowRect(list, &box);
    const int margins = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + 8;
    SendMessageW(
        list, CB_SETDROPPEDWIDTH,
        static_cast<WPARAM>(std::max(static_cast<int>(box.right - box.left), widest + margins)), 0);
}

}  // namespace

// ---- the app's own part, on the window's thread ----

class DialogApp::Shell : public DesktopShell {
public:
    explicit Shell(DialogApp& app) : app_(app) {}
    void onWindowThread(const std::function<void()>& fn) override { app_.onWindowThread(fn); }
    void postToWindowThread(std::function<void()> fn) override {
        auto* posted = new std::function<void()>(std::move(fn));
        if (!PostMessageW(app_.dialog_, kPosted, 0, reinterpret_cast<LPARAM>(posted))) {
            delete posted;  // the window is gone: nothing left to do there
        }
    }
    bool showBox(const BoxStyle& style, const std::string& text) override {
        // A box shown before the main window is on screen has no owner.
        const HWND owner = IsWindowVisible(app_.dialog_) ? app_.dialog_ : nullptr;
        const UINT kind = style.yesNo ? MB_YESNO | MB_DEFBUTTON2 : MB_OK;
        return MessageBoxW(owner, widen(text).c_str(), widen(style.title).c_str(), kind) == IDYES;
    }
    void setBusy(bool busy) override { app_.setBusy(busy); }
    void pumpEvents() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }

private:
    DialogApp& app_;
};

// ---- the main window's view of the controls ----

class DialogApp::View : public MainWindowView {
public:
    explicit View(DialogApp& app) : app_(app) {}
    void enable(int c, bool on) override {
        app_.onWindowThread([&] { EnableWindow(item(c), on); });
    }
    void setText(int c, const std::string& text) override {
        app_.onWindowThread([&] {
            const HWND control = item(c);
            SetWindowTextW(control, widen(text).c_str());
            if (c == IDC_FILENAME) {
                // A long path shows its end, the file's name, rather than its start.
                const auto end = static_cast<WPARAM>(GetWindowTextLengthW(control));
                SendMessageW(control, EM_SETSEL, end, static_cast<LPARAM>(end));
                SendMessageW(control, EM_SCROLLCARET, 0, 0);
            }
        });
    }
    std::string text(int c) override {
        std::string text;
        app_.onWindowThread([&] { text = windowText(item(c)); });
        return text;
    }
    void setEntries(int c, const std::vector<std::string>& entries) override {
        app_.onWindowThread([&] {
            const HWND list = item(c);
            SendMessageW(list, CB_RESETCONTENT, 0, 0);
            std::vector<std::wstring> wide;
            for (const std::string& e : entries) {
                wide.push_back(widen(e));
                SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.back().c_str()));
            }
            fitDropDown(list, wide);
        });
    }
    void select(int c, int position) override {
        app_.onWindowThread([&] {
            const HWND list = item(c);
            const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
            if (position >= 0 && position < count) {
                SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
                return;
            }
            // Cleared outright: a position past the end must not leave the list on an
            // entry (Wine keeps the one it had), nor its text in the edit part.
            SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            SetWindowTextW(list, L"");
        });
    }
    int selection(int c) override {
        int position = -1;
        app_.onWindowThread([&] {
            const HWND list = item(c);
            std::vector<std::string> entries;
            const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) entries.push_back(entryText(list, i));
            position = listSelection(static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)),
                                     windowText(list), entries);
        });
        return position;
    }
    bool chooseFile(std::string& path) override {
        bool chosen = false;
        app_.onWindowThread([&] {
            // Room for any path the system takes: a name is never cut short.
            std::vector<wchar_t> name(32768, L'\0');
            std::wstring filter = widen(kChooserFilterName);
            filter.push_back(L'\0');
            filter += widen(kChooserPattern);
            filter.push_back(L'\0');
            const std::wstring title = widen(kChooserTitle);
            OPENFILENAMEW ofn{};
            ofn.lStructSize = sizeof ofn;
            ofn.hwndOwner = app_.dialog_;
            ofn.lpstrFilter = filter.c_str();
            ofn.lpstrFile = name.data();
            ofn.nMaxFile = static_cast<DWORD>(name.size());
            ofn.lpstrTitle = title.c_str();
            ofn.Flags = OFN_HIDEREADONLY;
            chosen = GetOpenFileNameW(&ofn) != 0;
            if (chosen) path = narrow(name.data());
        });
        return chosen;
    }
    void end(int code) override {
        app_.onWindowThread([&] {
            app_.exitCode_ = code;
            DestroyWindow(app_.dialog_);
            PostQuitMessage(code);
        });
    }

private:
    HWND item(int c) const { return GetDlgItem(app_.dialog_, c); }
    DialogApp& app_;
};

// ---- the app ----

DialogApp::DialogApp(HINSTANCE instance, const DesktopOptions& options, SimulatorFactory simulator)
    : instance_(instance), shell_(std::make_unique<Shell>(*this)) {
    core_ = std::make_unique<DesktopCore>(*shell_, options, std::move(simulator));
    progress_ = std::make_unique<ProgressWindow>(
        instance, [this] { core_->cancel(); }, core_->closing());
    view_ = std::make_unique<View>(*this);
    core_->attach(*view_, *progress_);
}

DialogApp::~DialogApp() {
    core_->finishCommands();
    progress_->close();
}

void DialogApp::onWindowThread(const std::function<void()>& fn) {
    if (GetCurrentThreadId() == windowThread_) {
        fn();
    } else {
        SendMessageW(dialog_, kRun, 0, reinterpret_cast<LPARAM>(&fn));
    }
}

int DialogApp::run() {
    windowThread_ = GetCurrentThreadId();
    dialog_ = CreateDialogParamW(instance_, L"DIALOG", nullptr, &DialogApp::procedure,
                                 reinterpret_cast<LPARAM>(this));
    if (!dialog_) return 1;
    if (!core_->start()) {
        DestroyWindow(dialog_);
        return 1;
    }
    // The focus on the first control that takes it now that the buttons are set.
    SendMessageW(dialog_, WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(GetNextDlgTabItem(dialog_, nullptr, FALSE)), TRUE);
    ShowWindow(dialog_, SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (takesNoInput(msg)) continue;
        if (!IsWindow(dialog_) || !IsDialogMessageW(dialog_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    core_->finishCommands();
    return exitCode_;
}

// While Connect or Update runs the window takes no keyboard or mouse input (its
// title bar still moves it, and a close request is kept for when the command ends).
bool DialogApp::takesNoInput(const MSG& msg) const {
    if (!busy_) return false;
    const bool input = (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
                       (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST);
    return input && (msg.hwnd == dialog_ || IsChild(dialog_, msg.hwnd));
}

void DialogApp::setBusy(bool busy) {
    busy_ = busy;
    // Tells programs that drive the window (its tests, accessibility tools) when it
    // takes input again.
    if (busy) {
        SetPropW(dialog_, L"halden.busy", reinterpret_cast<HANDLE>(1));
    } else {
        RemovePropW(dialog_, L"halden.busy");
    }
    POINT at;
    GetCursorPos(&at);
    // Show the new cursor at once, not at the next mouse move.
    SetCursorPos(at.x, at.y);
}

void DialogApp::command(int id, int code) {
    core_->command(isControl(id) ? id : IDC_NONE, notificationOf(dialog_, id, code));
}

INT_PTR CALLBACK DialogApp::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<DialogApp*>(lParam)->dialog_ = window;
        return FALSE;  // the main window's logic sets the focus it wants
    }
    auto* self = reinterpret_cast<DialogApp*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR DialogApp::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRun:
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return TRUE;
        case kPosted: {
            std::unique_ptr<std::function<void()>> posted(
                reinterpret_cast<std::function<void()>*>(lParam));
            (*posted)();
            return TRUE;
        }
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            core_->closeRequest();
            return TRUE;
        case WM_QUERYENDSESSION:
            // A logoff or shutdown: as Cancel and closing the window, so that an update
            // ends at its next step and is recorded.
            core_->cancel();
            core_->closeRequest();
            SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_ENDSESSION:
            // Windows ends the process once this returns: the canceled update writes its
            // history line first.
            if (wParam) {
                core_->cancel();
                core_->finishCommands();
            }
            return TRUE;
        case WM_DEVICECHANGE:
            // A MIDI interface plugged in or out (DBT_DEVNODES_CHANGED, sent to every
            // top-level window): the lists follow.
            core_->portsChanged();
            return TRUE;
        case WM_SETCURSOR:
            if (busy_) {
                SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
                SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace halden::win32
