#include "ui/win32/dialog_app.h"

#include <commdlg.h>

#include <vector>

#include "transport/system_ports.h"
#include "ui/win32/resource.h"

namespace halden::win32 {

namespace {

constexpr UINT kRun = WM_APP + 10;   // lParam: const std::function<void()>*
constexpr UINT kIdle = WM_APP + 11;  // a command that blocked input has ended

// What a control's notification means to the main window.
Notification notificationOf(int id, int code) {
    if (id == IDC_TRANSMIT || id == IDC_RECEIVE) {
        switch (code) {
            case CBN_SELCHANGE:
                return Notification::SelectionChanged;
            case CBN_SETFOCUS:
                return Notification::FocusIn;
            case CBN_KILLFOCUS:
                return Notification::FocusOut;
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
                return Notification::FocusOut;
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
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

// ---- the message boxes, owned by the main window ----

class DialogApp::Boxes : public MessageBoxes {
public:
    explicit Boxes(DialogApp& app) : app_(app) {}
    void errorBox(std::string_view text) override {
        show("Halden Firmware Update Utility Error", text, MB_OK);
    }
    bool askYesNo(std::string_view text) override {
        return show(text::kAppTitle, text, MB_YESNO | MB_DEFBUTTON2) == IDYES;
    }
    void noticeBox(std::string_view text) override { show(text::kAppTitle, text, MB_OK); }
    void fatalBox(std::string_view text) override {
        show(text::kAppTitle, text, MB_YESNO | MB_DEFBUTTON2);
    }

private:
    int show(std::string_view title, std::string_view text, UINT kind) {
        // The app is going: nobody is there to answer. The default answer is No.
        if (app_.closing_) return (kind & MB_YESNO) ? IDNO : IDOK;
        const std::string t(title), body(text);
        int answer = IDNO;
        app_.onWindowThread([&] {
            // A box shown before the main window is on screen has no owner.
            const HWND owner = IsWindowVisible(app_.dialog_) ? app_.dialog_ : nullptr;
            answer = MessageBoxA(owner, body.c_str(), t.c_str(), kind);
        });
        return answer;
    }
    DialogApp& app_;
};

// ---- the controller's view of the window ----

class DialogApp::View : public MainWindowView {
public:
    explicit View(DialogApp& app) : app_(app) {}
    void enable(int c, bool on) override {
        app_.onWindowThread([&] { EnableWindow(item(c), on); });
    }
    void setText(int c, const std::string& text) override {
        app_.onWindowThread([&] { SetWindowTextA(item(c), text.c_str()); });
    }
    std::string text(int c) override {
        std::string text;
        app_.onWindowThread([&] { text = windowText(item(c)); });
        return text;
    }
    void setEntries(int c, const std::vector<std::string>& entries) override {
        app_.onWindowThread([&] {
            SendMessageA(item(c), CB_RESETCONTENT, 0, 0);
            for (const std::string& e : entries) {
                SendMessageA(item(c), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
            }
        });
    }
    void select(int c, int position) override {
        app_.onWindowThread([&] { SendMessageA(item(c), CB_SETCURSEL, position, 0); });
    }
    int selection(int c) override {
        int position = -1;
        app_.onWindowThread([&] {
            // Text that names no entry is no selection.
            const HWND list = item(c);
            const std::string text = windowText(list);
            const int current = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
            if (current >= 0) {
                std::string entry(
                    static_cast<size_t>(SendMessageA(list, CB_GETLBTEXTLEN, current, 0)) + 1, '\0');
                entry.resize(static_cast<size_t>(SendMessageA(
                    list, CB_GETLBTEXT, current, reinterpret_cast<LPARAM>(entry.data()))));
                if (entry == text) {
                    position = current;
                    return;
                }
            }
            const LRESULT found = SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(text.c_str()));
            position = found == CB_ERR ? -1 : static_cast<int>(found);
        });
        return position;
    }
    bool chooseFile(std::string& path) override {
        bool chosen = false;
        app_.onWindowThread([&] {
            // Room for any path the system takes: a name is never cut short.
            std::vector<char> name(32768, '\0');
            OPENFILENAMEA ofn{};
            ofn.lStructSize = sizeof ofn;
            ofn.hwndOwner = app_.dialog_;
            ofn.lpstrFilter = "Halden Firmware Image (*.hfi)\0*.hfi\0";
            ofn.lpstrFile = name.data();
            ofn.nMaxFile = static_cast<DWORD>(name.size());
            ofn.lpstrTitle = "Halden Firmware Update Utility file selector";
            ofn.Flags = OFN_HIDEREADONLY;
            chosen = GetOpenFileNameA(&ofn) != 0;
            if (chosen) path = name.data();
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

DialogApp::DialogApp(HINSTANCE instance, const DialogOptions& options) : instance_(instance) {
    boxes_ = std::make_unique<Boxes>(*this);
    progress_ = std::make_unique<ProgressWindow>(instance, cancel_, clock_, closing_);
    view_ = std::make_unique<View>(*this);
    auto feed = [this](ByteView bytes) { receiver_.feed(bytes); };
    auto real =
        makeSystemPorts(feed, [this](const std::string& why) { receiver_.failPort(why); }, {});
    std::unique_ptr<SimulatorPorts> simulator;
    if (options.simulate) simulator = std::make_unique<SimulatorPorts>(options.sim, clock_, feed);
    ports_ = std::make_unique<AppPorts>(std::move(real), std::move(simulator));
    settings_ = std::make_unique<RegistryPortSettings>(*boxes_);
    io_ = std::make_unique<EngineIo>(
        EngineIo{*ports_, receiver_, *progress_, *boxes_, cancel_, clock_});
    window_ = std::make_unique<MainWindow>(*view_, *io_, *ports_, *settings_);
}

DialogApp::~DialogApp() {
    finishCommands();
    progress_->close();
    ports_->closePorts();
}

void DialogApp::onWindowThread(const std::function<void()>& fn) {
    if (GetCurrentThreadId() == windowThread_) {
        fn();
    } else {
        SendMessageA(dialog_, kRun, 0, reinterpret_cast<LPARAM>(&fn));
    }
}

int DialogApp::run() {
    windowThread_ = GetCurrentThreadId();
    dialog_ = CreateDialogParamA(instance_, "DIALOG", nullptr, &DialogApp::procedure,
                                 reinterpret_cast<LPARAM>(this));
    if (!dialog_) return 1;
    if (!window_->create()) {
        DestroyWindow(dialog_);
        return 1;
    }
    // The focus on the first control that takes it now that the buttons are set.
    SendMessageA(dialog_, WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(GetNextDlgTabItem(dialog_, nullptr, FALSE)), TRUE);
    ShowWindow(dialog_, SW_SHOW);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (takesNoInput(msg)) continue;
        if (!IsWindow(dialog_) || !IsDialogMessageA(dialog_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    finishCommands();
    return exitCode_;
}

void DialogApp::finishCommands() {
    closing_ = true;
    cancel_ = true;
    clock_.notify();
    // A command may still be waiting on this thread (a view call): let it through.
    while (worker_.busy()) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    worker_.stop();
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
        SetPropA(dialog_, "halden.busy", reinterpret_cast<HANDLE>(1));
    } else {
        RemovePropA(dialog_, "halden.busy");
    }
    POINT at;
    GetCursorPos(&at);
    // Show the new cursor at once, not at the next mouse move.
    SetCursorPos(at.x, at.y);
}

void DialogApp::command(int id, int code) {
    const int control = isControl(id) ? id : control::kNone;
    const Notification n = notificationOf(id, code);
    // Connect and Update talk to the Halden for a long time; the window takes no input
    // meanwhile, from this very click on. Other commands are short and queue up in
    // order, so that a click that moves the focus is not lost.
    const bool talks =
        n == Notification::Clicked && (control == control::kConnect || control == control::kUpdate);
    if (talks) setBusy(true);
    worker_.post([this, control, n, talks] {
        window_->command(control, n);
        if (talks) PostMessageA(dialog_, kIdle, 0, 0);
    });
}

INT_PTR CALLBACK DialogApp::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<DialogApp*>(lParam)->dialog_ = window;
        return FALSE;  // the controller sets the focus it wants
    }
    auto* self = reinterpret_cast<DialogApp*>(GetWindowLongPtrA(window, DWLP_USER));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR DialogApp::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRun:
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return TRUE;
        case kIdle:
            setBusy(false);
            return TRUE;
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            // Carried out by the controller, after a command that is running.
            worker_.post([this] { window_->closeRequest(); });
            return TRUE;
        case WM_SETCURSOR:
            if (busy_) {
                SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
                SetWindowLongPtrA(dialog_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace halden::win32
