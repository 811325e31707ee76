// halden-gui.exe driven through window messages on the built-in simulator, as a user
// would: pick list entries, type a file name and move the focus, press buttons and keys,
// answer the message boxes by finding them. Runs under Wine with an X display. What the
// app decides (texts, outcomes) is proven by the main window's tests; here, what the
// Win32 front end can get wrong itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "temp_dir.h"

namespace {
using namespace std::chrono_literals;
using halden::test::TempDir;

bool until(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A window's text as it has it now (GetWindowText gives another process's edit and
// combo boxes only the text they were made with).
std::string textOf(HWND window) {
    char text[1024] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// Presses a key on a control of a window, after moving the focus there, through the
// app's own message loop.
void press(HWND window, HWND control, WPARAM key) {
    SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    PostMessageA(control, WM_KEYDOWN, key, 0);
    PostMessageA(control, WM_KEYUP, key, 0xC0000000);
}

class Gui {
public:
    // Starts it as on a first run (no selections kept; this Wine prefix is the test run's
    // own), or with both lists' positions stored as `stored`.
    explicit Gui(const std::string& arguments = "--simulate --baud 0", DWORD stored = 0) {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarnwick\\Halden", KEY_WOW64_32KEY, 0);
        for (const char* name : {"InputBus", "OutputBus"}) {  // the 32-bit view's key
            if (stored)
                RegSetKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Tarnwick\\Halden", name,
                                REG_DWORD, &stored, sizeof stored);
        }
        std::string line = "\"" HALDEN_GUI "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // Wine, on a busy machine, now and then fails a start with an internal error
        // (1359) that a second try does not meet.
        for (int attempt = 0; attempt < 3 && !info_.hProcess; ++attempt) {
            if (attempt > 0) Sleep(500);
            CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info_);
        }
        if (!info_.hProcess) {
            ADD_FAILURE() << "can't start " << line << ": " << GetLastError();
            return;
        }
        CloseHandle(info_.hThread);
        dialog = find([](HWND w) { return textOf(w) == "Halden Firmware Update Utility - V1.00"; });
    }
    ~Gui() {
        if (!info_.hProcess) return;
        TerminateProcess(info_.hProcess, 99);  // if it has not ended
        CloseHandle(info_.hProcess);
    }
    // A sample image, on the current drive, which is Wine's for the Unix root.
    static std::string example(const std::string& name) { return HALDEN_EXAMPLES "/" + name; }

    HWND item(int id) const { return GetDlgItem(dialog, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)); }
    std::string text(int id) const { return textOf(item(id)); }

    void focus(int id) {
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(id)), TRUE);
    }
    // Types a file name into the field and (unless told not to) leaves it, so that it is
    // checked.
    void nameImage(const std::string& path, bool leave = true) {
        focus(1005);
        SendMessageA(item(1005), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        if (leave) focus(1000);
    }
    void click(int id) { SendMessageA(item(id), BM_CLICK, 0, 0); }
    // Names an image, waits for Update to take it, and presses Update.
    void update(const std::string& name) {
        nameImage(example(name));
        ASSERT_TRUE(until([&] { return enabled(1001); }));
        click(1001);
    }
    // Until no command runs: the window takes no input while one does.
    bool idle() const {
        return until([&] { return GetPropA(dialog, "halden.busy") == nullptr; });
    }
    // A key pressed on a control, once the window takes input again after the focus
    // moved there.
    void key(int id, WPARAM key) {
        focus(id);
        idle();
        press(dialog, item(id), key);
    }

    // A visible window of the program's that `is` takes, once it is up (nullptr: none came).
    HWND find(const std::function<bool(HWND)>& is, std::chrono::milliseconds limit = 60s) const {
        HWND found = nullptr;
        until(
            [&] {
                for (HWND w = GetTopWindow(nullptr); w && !found; w = GetWindow(w, GW_HWNDNEXT)) {
                    DWORD owner = 0;
                    GetWindowThreadProcessId(w, &owner);
                    if (owner == info_.dwProcessId && IsWindowVisible(w) && is(w)) found = w;
                }
                return found != nullptr;
            },
            limit);
        return found;
    }
    // The next message box, once it is up.
    HWND box() const {
        return find([&](HWND w) {
            // A message box's text; not the progress window's nor the file chooser's,
            // which have static texts of that id too.
            return w != dialog && GetDlgItem(w, 0xFFFF) &&
                   (GetDlgItem(w, IDOK) || GetDlgItem(w, IDYES)) && !GetDlgItem(w, 0x47C);
        });
    }
    // Answers the next box and returns what it said.
    std::string answer(int button = IDOK) {
        const HWND b = box();
        const std::string text = textOf(GetDlgItem(b, 0xFFFF));
        if (b) PostMessageA(b, WM_COMMAND, button, 0);
        until([&] { return !IsWindow(b); });
        return text;
    }
    // The progress window, once it shows the writing.
    HWND progress() const {
        return find(
            [](HWND w) { return textOf(GetDlgItem(w, 1012)) == "Updating Halden area..."; });
    }
    void connect() {
        for (int list : {1003, 1004}) {  // as the user's choice of the second entry
            SendMessageA(item(list), CB_SETCURSEL, 1, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(item(list)));
        }
        ASSERT_TRUE(until([&] { return enabled(1000); }));
        click(1000);
        ASSERT_EQ(answer(), "Connection established!");
        ASSERT_TRUE(until([&] { return enabled(3); }));
    }
    // The program's exit code once it has ended (-1: it did not).
    int exitCode() {
        DWORD code = 0;
        if (WaitForSingleObject(info_.hProcess, 30000) != WAIT_OBJECT_0) return -1;
        GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<int>(code);
    }

    HWND dialog = nullptr;

private:
    PROCESS_INFORMATION info_{};
};

// The lists on the entry the app selects at first, and Tab's order. The progress window on its own
// thread, owned by no window; Cancel by Enter and by Space on it;
// Escape and a close request (Alt+F4) end neither the window nor the update; closing the
// main window meanwhile waits for the update, then ends the program.
TEST(GuiTest, TheProgressWindow) {
    Gui gui("--simulate");  // at the cable's pace: an update takes seconds
    for (int list : {1003, 1004}) EXPECT_EQ(gui.text(list), "(Choose a MIDI port)") << list;
    std::vector<int> stops;  // the controls Tab reaches, in its order
    for (HWND w = GetWindow(gui.item(1001), GW_HWNDFIRST); w; w = GetWindow(w, GW_HWNDNEXT))
        if (GetWindowLongA(w, GWL_STYLE) & WS_TABSTOP) stops.push_back(GetDlgCtrlID(w));
    EXPECT_EQ(stops, (std::vector<int>{1001, 1000, 3, 1005, 1003, 1004, 4}));
    gui.connect();
    for (const WPARAM key : {VK_RETURN, VK_SPACE}) {
        gui.update("halden-1.5.hfi");
        const HWND progress = gui.progress(), cancel = GetDlgItem(progress, 1011);
        ASSERT_NE(progress, nullptr) << key;
        EXPECT_EQ(GetWindow(progress, GW_OWNER), nullptr);
        press(progress, cancel, key);
        EXPECT_EQ(gui.answer().rfind("Operation canceled", 0), 0u) << key;
        gui.idle();
    }
    gui.update("halden-1.5.hfi");
    const HWND progress = gui.progress();
    ASSERT_NE(progress, nullptr);
    press(progress, GetDlgItem(progress, 1011), VK_ESCAPE);
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(500);
    EXPECT_TRUE(IsWindow(progress) && IsWindowVisible(progress)) << "the progress window went";
    PostMessageA(gui.dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(gui.answer(), "Halden was successfully updated.");
    EXPECT_EQ(gui.exitCode(), 0);
}

// The controls show what the app sets (no entry, for a stored position past the end of
// a list), and its boxes: the question, a Yes/No box whose default is No, and both
// answers. Enter presses the focused button: on Connect it connects again (no update
// runs); in the file name field, the default one, Update. A box that takes the focus from
// the field does not check the name again when it closes: one error box, not one after
// another (a second would keep Exit from ending the program). A file picked in the
// chooser from a folder outside the old Windows character set is shown as it is and
// updated from.
TEST(GuiTest, TheControlsTheBoxesTheChooserAndEnter) {
    Gui gui("--simulate --baud 0", 7);  // positions past the end of the lists: no entry shown
    gui.idle();
    for (int list : {1003, 1004}) {
        EXPECT_EQ(SendMessageA(gui.item(list), CB_GETCURSEL, 0, 0), -1) << list;
        EXPECT_EQ(gui.text(list), "") << list;
    }
    gui.connect();
    for (int answer : {IDNO, IDYES}) {
        gui.idle();
        gui.update("halden-1.4.hfi");  // the version the Halden runs already
        EXPECT_EQ(GetWindowLongA(GetDlgItem(gui.box(), IDNO), GWL_STYLE) & BS_TYPEMASK,
                  BS_DEFPUSHBUTTON);
        gui.answer(answer);
        EXPECT_EQ(gui.answer().rfind("Operation canceled", 0) == 0, answer == IDNO) << answer;
    }
    TempDir temp("halden-gui");
    const std::filesystem::path file =
        temp.path() / L"Mein Ordner \u2013 Gr\u00f6\u00dfe \u2713" / L"ne\u00fc 1.5.hfi";
    std::filesystem::create_directories(file.parent_path());
    std::filesystem::copy_file(Gui::example("halden-1.5.hfi"), file);
    gui.idle();
    PostMessageA(gui.item(3), BM_CLICK, 0, 0);
    const HWND chooser = gui.find(
        [](HWND w) { return textOf(w) == "Halden Firmware Update Utility file selector"; });
    ASSERT_NE(chooser, nullptr);
    SendMessageW(GetDlgItem(chooser, 0x47C), WM_SETTEXT, 0,  // its file name (cmb13)
                 reinterpret_cast<LPARAM>(file.c_str()));
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    wchar_t shown[1024] = {};
    ASSERT_TRUE(until([&] {
        SendMessageW(gui.item(1005), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(shown));
        return shown == file.wstring() && gui.enabled(1001);
    })) << gui.text(1005);
    gui.click(1001);
    EXPECT_EQ(gui.answer(), "Halden was successfully updated.");
    gui.key(1000, VK_RETURN);
    EXPECT_EQ(gui.answer(), "Connection established!");
    const std::string missing = Gui::example("no-such-image.hfi");
    gui.nameImage(missing, false);
    gui.key(1005, VK_RETURN);
    const HWND error = gui.box();  // owned by the window, and it asks nothing
    EXPECT_EQ(textOf(error), "Halden Firmware Update Utility Error");
    EXPECT_TRUE(GetWindow(error, GW_OWNER) == gui.dialog && !GetDlgItem(error, IDYES));
    EXPECT_EQ(gui.answer(), "Can't open file " + missing + " for reading");
    gui.nameImage(Gui::example("halden-1.5.hfi"));  // a name that leaves no box behind
    gui.key(4, VK_RETURN);
    EXPECT_EQ(gui.exitCode(), 0);
}

}  // namespace
