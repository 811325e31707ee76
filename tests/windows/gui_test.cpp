// halden-gui.exe driven through window messages on the built-in simulator, as a user
// would: pick list entries, type a file name and move the focus, press buttons and keys,
// answer the message boxes by finding them. Runs under Wine with an X display. What the
// app decides (texts, outcomes) is proven by the main window's tests; here, what the
// Win32 front end can get wrong itself.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "temp_dir.h"

namespace {
using namespace std::chrono_literals;
using halden::test::TempDir;

std::string g_gui;       // halden-gui.exe
std::string g_examples;  // the sample images
const char* const kDone = "Halden was successfully updated.";

// A Unix path as Wine's Windows programs name it.
std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

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

// How wide a text is in the templates' font (made here: a font handle is its process's).
LONG textWidth(const std::string& text) {
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(
        dc, CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                        FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif"));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    DeleteObject(SelectObject(dc, old));
    ReleaseDC(nullptr, dc);
    return size.cx;
}

class Gui {
public:
    // Starts it as on a first run (no selections kept; this Wine prefix is the test run's
    // own), or with both lists' positions stored as `stored`.
    explicit Gui(const std::string& arguments = "--simulate --baud 0", DWORD stored = 0) {
        const char* const kept = "SOFTWARE\\Tarnwick\\Halden";
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteKeyExA(root, kept, KEY_WOW64_32KEY, 0);
        }
        HKEY key = nullptr;
        if (stored && RegCreateKeyExA(HKEY_LOCAL_MACHINE, kept, 0, nullptr, 0,
                                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key,
                                      nullptr) == ERROR_SUCCESS) {
            for (const char* name : {"InputBus", "OutputBus"}) {
                RegSetKeyValueA(key, nullptr, name, REG_DWORD, &stored, sizeof stored);
            }
            RegCloseKey(key);
        }
        std::string line = "\"" + g_gui + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // Wine, on a busy machine, now and then fails a start with an internal error
        // (1359) that a second try does not meet.
        bool started = false;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            if (attempt > 0) Sleep(500);
            started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &info_);
        }
        if (!started) {
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
    static std::string example(const std::string& name) {
        return windowsPath(g_examples + "/" + name);
    }

    HWND item(int id) const { return GetDlgItem(dialog, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)); }
    std::string text(int id) const { return textOf(item(id)); }

    // As the user's choice in a drop-down list.
    void choose(int list, int position) {
        SendMessageA(item(list), CB_SETCURSEL, position, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(item(list)));
    }
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
    HWND box(std::chrono::milliseconds limit = 60s) const {
        return find(
            [&](HWND w) {
                // A message box's text; not the progress window's nor the file chooser's,
                // which have static texts of that id too.
                return w != dialog && GetDlgItem(w, 0xFFFF) &&
                       (GetDlgItem(w, IDOK) || GetDlgItem(w, IDYES)) && !GetDlgItem(w, 0x47C);
            },
            limit);
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
        choose(1003, 1);
        choose(1004, 1);
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

// The lists on the entry the app selects at first, the focus's stops as built, and no
// text cut off in the font the system gave the dialog (the controls' kinds and texts are
// the template's, which layout_test.cpp reads).
TEST(GuiTest, TheMainWindowsControls) {
    Gui gui;
    ASSERT_NE(gui.dialog, nullptr);
    for (int list : {1003, 1004}) EXPECT_EQ(gui.text(list), "(Choose a MIDI port)") << list;
    std::vector<int> stops;
    for (HWND w = GetWindow(gui.item(1001), GW_HWNDFIRST); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (GetWindowLongA(w, GWL_STYLE) & WS_TABSTOP) stops.push_back(GetDlgCtrlID(w));
        const std::string t = textOf(w);
        if (t.empty() || GetDlgCtrlID(w) == 1003 || GetDlgCtrlID(w) == 1004) continue;
        RECT r;
        GetClientRect(w, &r);
        EXPECT_LE(textWidth(t), r.right) << t;
    }
    EXPECT_EQ(stops, (std::vector<int>{1001, 1000, 3, 1005, 1003, 1004, 4}));
}

// The controls show what the app sets (no entry, for a stored position past the end of
// a list), and its boxes: the question, a Yes/No box whose default is No, and both
// answers. (An error box: EnterAndTheFocus.)
TEST(GuiTest, TheControlsAndTheBoxes) {
    Gui gui("--simulate --baud 0", 7);  // positions past the end of the lists: no entry shown
    gui.idle();
    for (int list : {1003, 1004}) {
        EXPECT_EQ(SendMessageA(gui.item(list), CB_GETCURSEL, 0, 0), -1) << list;
        EXPECT_EQ(gui.text(list), "") << list;
    }
    gui.connect();
    EXPECT_EQ(gui.text(1009), "000a7f100102");
    EXPECT_EQ(gui.text(1010), "1.4");
    for (int answer : {IDNO, IDYES}) {
        gui.idle();
        gui.update("halden-1.4.hfi");  // the version the Halden runs already
        const HWND question = gui.box();
        EXPECT_NE(GetDlgItem(question, IDYES), nullptr);
        EXPECT_EQ(GetWindowLongA(GetDlgItem(question, IDNO), GWL_STYLE) & BS_TYPEMASK,
                  BS_DEFPUSHBUTTON);
        gui.answer(answer);
        EXPECT_EQ(gui.answer().rfind("Operation canceled", 0) == 0, answer == IDNO) << answer;
    }
}

// The progress window on its own thread: its controls; Cancel by its button, by Enter and
// by Space on it; Escape and a close request (Alt+F4) end neither the window nor the
// update; closing the main window meanwhile waits for the update, then ends the program.
TEST(GuiTest, TheProgressWindow) {
    Gui gui("--simulate");  // at the cable's pace: an update takes seconds
    gui.connect();
    for (const WPARAM key : {0, VK_RETURN, VK_SPACE}) {  // 0: Cancel clicked
        gui.update("halden-1.5.hfi");
        const HWND progress = gui.progress(), cancel = GetDlgItem(progress, 1011);
        ASSERT_NE(progress, nullptr) << key;
        EXPECT_EQ(GetWindow(progress, GW_OWNER), nullptr);
        EXPECT_EQ(textOf(cancel), "Cancel");
        EXPECT_EQ(SendMessageA(GetDlgItem(progress, 1013), PBM_GETRANGE, FALSE, 0), 100);
        if (key == 0) SendMessageA(cancel, BM_CLICK, 0, 0);
        if (key != 0) press(progress, cancel, key);
        EXPECT_EQ(gui.answer().rfind("Operation canceled", 0), 0u) << key;
        gui.idle();
    }
    gui.update("halden-1.5.hfi");
    const HWND progress = gui.progress();
    ASSERT_NE(progress, nullptr);
    press(progress, GetDlgItem(progress, 1011), VK_ESCAPE);
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageA(progress, WM_CLOSE, 0, 0);
    Sleep(500);
    EXPECT_TRUE(IsWindow(progress) && IsWindowVisible(progress)) << "the progress window went";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(progress, 1011)));
    PostMessageA(gui.dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(gui.answer(), kDone);
    EXPECT_EQ(gui.exitCode(), 0);
}

// A MIDI port that fails during an update ends the program with exit code 1, after its
// box.
TEST(GuiTest, APortFailureEndsTheProgram) {
    Gui gui("--simulate --baud 0 --sim-port-fails-after 8");
    gui.connect();
    gui.update("halden-1.5.hfi");
    EXPECT_NE(gui.answer().find("has gone away"), std::string::npos);
    EXPECT_EQ(gui.exitCode(), 1);
}

// Enter presses the focused button: on Connect it connects again (no update runs); in
// the file name field, the default one, Update. A box that takes the focus from the
// field does not check the name again when it closes: one error box, not one after
// another.
TEST(GuiTest, EnterAndTheFocus) {
    Gui gui;
    gui.connect();
    gui.nameImage(Gui::example("halden-1.5.hfi"));
    ASSERT_TRUE(until([&] { return gui.enabled(1001); }));
    gui.key(1000, VK_RETURN);
    EXPECT_EQ(gui.answer(), "Connection established!");
    const std::string missing = Gui::example("no-such-image.hfi");
    gui.nameImage(missing, false);
    gui.key(1005, VK_RETURN);
    const HWND error = gui.box();  // owned by the window, and it asks nothing
    EXPECT_EQ(textOf(error), "Halden Firmware Update Utility Error");
    EXPECT_TRUE(GetWindow(error, GW_OWNER) == gui.dialog && !GetDlgItem(error, IDYES));
    EXPECT_EQ(gui.answer(), "Can't open file " + missing + " for reading");
    const HWND again = gui.box(3s);
    EXPECT_EQ(again, nullptr) << "a second box: " << textOf(GetDlgItem(again, 0xFFFF));
    if (again) PostMessageA(again, WM_COMMAND, IDOK, 0);
    gui.nameImage(Gui::example("halden-1.5.hfi"));  // a name that leaves no box behind
    gui.key(4, VK_RETURN);
    EXPECT_EQ(gui.exitCode(), 0);
}

// Long names are not cut: the drop-down is as wide as its longest entry, and a long path
// picked in the chooser shows its end, the file's name; a path outside the old Windows
// character set is shown as it is and updated from.
TEST(GuiTest, LongNamesAndAnyCharactersAreShownWhole) {
    const std::string name = "Bench Halden 2 on a USB MIDI interface with a very long name";
    Gui gui("--simulate --baud 0 --sim-port-name \"" + name + "\"");
    ASSERT_NE(gui.dialog, nullptr);
    gui.idle();
    RECT list{};
    GetWindowRect(gui.item(1003), &list);
    ASSERT_GT(textWidth(name), list.right - list.left) << "the name fits the list anyway";
    for (int id : {1003, 1004}) {
        EXPECT_GE(SendMessageA(gui.item(id), CB_GETDROPPEDWIDTH, 0, 0), textWidth(name)) << id;
    }

    TempDir temp("halden-gui");
    const std::filesystem::path file =
        std::filesystem::absolute(temp.path() / std::string(90, 'f') /
                                  L"Mein Ordner \u2013 Gr\u00f6\u00dfe \u2713" /
                                  std::string(60, 'g') / L"ne\u00fc 1.5.hfi")
            .make_preferred();
    std::filesystem::create_directories(file.parent_path());
    std::filesystem::copy_file(g_examples + "/halden-1.5.hfi", file);
    const std::wstring path = file.wstring();
    gui.connect();
    PostMessageA(gui.item(3), BM_CLICK, 0, 0);
    const HWND chooser = gui.find(
        [](HWND w) { return textOf(w) == "Halden Firmware Update Utility file selector"; });
    ASSERT_NE(chooser, nullptr);
    SendMessageW(GetDlgItem(chooser, 0x47C), WM_SETTEXT, 0,  // its file name (cmb13)
                 reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    const HWND edit = gui.item(1005);
    wchar_t shown[1024] = {};
    ASSERT_TRUE(until([&] {
        SendMessageW(edit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(shown));
        return shown == path && gui.enabled(1001);
    })) << gui.text(1005);
    RECT client{};
    GetClientRect(edit, &client);
    const auto x = [&](size_t at) {  // where a character is drawn (-1: nowhere)
        return static_cast<short>(LOWORD(SendMessageA(edit, EM_POSFROMCHAR, at, 0)));
    };
    EXPECT_TRUE(x(path.size() - 1) >= 0 && x(path.size() - 1) < client.right)
        << "the file's name is not shown";
    EXPECT_LT(x(0), 0) << "the path's start is shown";
    gui.click(1001);
    EXPECT_EQ(gui.answer(), kDone);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: halden_gui_tests HALDEN-GUI.EXE EXAMPLES-FOLDER\n");
        return 2;
    }
    g_gui = windowsPath(argv[1]);
    g_examples = argv[2];
    return RUN_ALL_TESTS();
}
