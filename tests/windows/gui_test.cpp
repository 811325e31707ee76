// halden-gui.exe driven through window messages on the built-in simulator, as a user
// would: pick list entries, type a file name and move the focus, press buttons and keys,
// answer the message boxes by finding them. Runs under Wine with an X display.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "expected_texts.h"
#include "temp_dir.h"

namespace {
using namespace halden;

const std::string kCanceledPastTheErase = test::then("Operation canceled", test::kErasedByCancel);

std::string g_gui;       // halden-gui.exe
std::string g_examples;  // the sample images

using namespace std::chrono_literals;

// A Unix path as Wine's Windows programs name it.
std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) c = c == '/' ? '\\' : c;
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

// The top-level windows of a process.
std::vector<HWND> windowsOf(DWORD process) {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{process, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->process && IsWindowVisible(window)) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Box {
    HWND window = nullptr;
    std::string title, text;
    bool yesNo = false;
    int defaultButton = 0;
    bool owned = false;
};

class Gui {
public:
    explicit Gui(const std::string& arguments = "--simulate --baud 0") {
        std::string line = "\"" + g_gui + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // Wine, on a busy machine, now and then fails a start with an internal error
        // (1359) that a second try does not meet.
        bool started = false;
        DWORD error = 0;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            if (attempt > 0) Sleep(500);
            started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &info_);
            if (!started) error = GetLastError();
        }
        if (!started) {
            ADD_FAILURE() << "can't start " << line << ": " << error;
            return;
        }
        CloseHandle(info_.hThread);
        until([&] {
            for (HWND w : windowsOf(info_.dwProcessId)) {
                if (textOf(w) == "Halden Firmware Update Utility - V1.00") dialog = w;
            }
            return dialog != nullptr;
        });
    }
    ~Gui() {
        if (!info_.hProcess) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
        }
        CloseHandle(info_.hProcess);
    }

    HWND item(int id) const { return GetDlgItem(dialog, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)); }
    std::string text(int id) const { return textOf(item(id)); }
    int selection(int list) const {
        return static_cast<int>(SendMessageA(item(list), CB_GETCURSEL, 0, 0));
    }

    // As the user's choice in a drop-down list.
    void choose(int list, int position) {
        SendMessageA(item(list), CB_SETCURSEL, position, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(item(list)));
    }
    void focus(int id) {
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(id)), TRUE);
    }
    // Types a file name into the field and leaves it, so that it is checked.
    void nameImage(const std::string& path) {
        focus(1005);
        SendMessageA(item(1005), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        focus(1000);
    }
    void click(int id) { SendMessageA(item(id), BM_CLICK, 0, 0); }
    // Names an image, waits for Update to take it, and presses Update.
    void update(const std::string& path) {
        nameImage(path);
        ASSERT_TRUE(until([&] { return enabled(1001); }));
        click(1001);
    }
    // Until no command runs: the window takes no input while one does.
    bool idle() const {
        return until([&] { return GetPropA(dialog, "halden.busy") == nullptr; });
    }
    // A key pressed on the focused control, through the app's own message loop.
    void key(int id, WPARAM key) {
        idle();
        PostMessageA(item(id), WM_KEYDOWN, key, 0);
        PostMessageA(item(id), WM_KEYUP, key, 0xC0000000);
    }

    // The next message box, once it is up.
    Box box(std::chrono::milliseconds limit = 60s) {
        Box found;
        until(
            [&] {
                for (HWND w : windowsOf(info_.dwProcessId)) {
                    const HWND message = GetDlgItem(w, 0xFFFF);  // a message box's text
                    // Not the progress window nor the file chooser, which have static
                    // texts of that id too.
                    const bool buttons = GetDlgItem(w, IDOK) || GetDlgItem(w, IDYES);
                    if (w == dialog || !message || !buttons || GetDlgItem(w, 0x47C)) continue;
                    found.window = w;
                    found.title = textOf(w);
                    found.text = textOf(message);
                    found.yesNo = GetDlgItem(w, IDYES) != nullptr;
                    for (int id : {IDOK, IDYES, IDNO}) {
                        const HWND button = GetDlgItem(w, id);
                        if (button &&
                            (GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                            found.defaultButton = id;
                        }
                    }
                    found.owned = GetWindow(w, GW_OWNER) == dialog;
                    return true;
                }
                return false;
            },
            limit);
        return found;
    }
    // Answers the next box and returns what it said.
    std::string answer(int button = IDOK) {
        const Box b = box();
        if (b.window) PostMessageA(b.window, WM_COMMAND, button, 0);
        until([&] { return !IsWindow(b.window); });
        return b.text;
    }
    // The progress window, while it is up.
    HWND progress() const {
        for (HWND w : windowsOf(info_.dwProcessId)) {
            if (GetDlgItem(w, 1011) && GetDlgItem(w, 1013)) return w;
        }
        return nullptr;
    }
    void connect() {
        choose(1003, 1);
        choose(1004, 1);
        ASSERT_TRUE(until([&] { return enabled(1000); }));
        click(1000);
        ASSERT_EQ(answer(), "Connection established!");
        ASSERT_TRUE(until([&] { return enabled(3); }));
    }
    // Ends the program and gives its exit code.
    int exitCode(std::chrono::milliseconds limit = 30s) {
        if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) !=
            WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<int>(code);
    }

    DWORD process() const { return info_.dwProcessId; }
    HWND dialog = nullptr;

private:
    PROCESS_INFORMATION info_{};
};

// A control's rectangle (x, y, width, height) in dialog units, as the template gives it:
// the dialog's client area is `across` x `down` units.
RECT dialogUnits(HWND dialog, HWND control, LONG across = 269, LONG down = 127) {
    RECT client, r;
    GetClientRect(dialog, &client);
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    const auto du = [](LONG px, LONG size, LONG units) {
        return static_cast<LONG>((px * units + size / 2) / size);
    };
    const LONG w = client.right, h = client.bottom;
    return {du(r.left, w, across), du(r.top, h, down), du(r.right - r.left, w, across),
            du(r.bottom - r.top, h, down)};
}

class GuiTest : public testing::Test {
protected:
    // Every test starts as a first run: no selections kept (this Wine prefix is the
    // test run's own).
    void SetUp() override {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteKeyExA(root, "SOFTWARE\\Tarnwick\\Halden", KEY_WOW64_32KEY, 0);
        }
    }
    std::string image(const char* name) { return windowsPath(g_examples + "/" + name); }
};

TEST_F(GuiTest, TheMainWindowsControls) {
    Gui gui;
    ASSERT_NE(gui.dialog, nullptr);
    const HDC screen = GetDC(nullptr);
    std::printf("screen: %d dpi\n", GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
    struct Control {
        int id;
        const char* cls;
        const char* text;
        RECT du;  // x, y, width, height
    };
    const std::vector<Control> controls = {
        {1001, "Button", "Update", {143, 106, 50, 14}},
        {1000, "Button", "Connect", {7, 106, 50, 14}},
        {3, "Button", "Find image", {75, 106, 50, 14}},
        {1005, "Edit", "", {63, 84, 199, 12}},
        {1003, "ComboBox", "(Choose a MIDI port)", {135, 7, 127, 0}},
        {1004, "ComboBox", "(Choose a MIDI port)", {135, 26, 127, 0}},
        {1009, "Static", "", {136, 51, 78, 8}},
        {1010, "Static", "", {136, 67, 78, 8}},
        {4, "Button", "Exit", {212, 106, 50, 14}},
    };
    for (const auto& c : controls) {
        const HWND w = gui.item(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        char cls[64];
        GetClassNameA(w, cls, sizeof cls);
        EXPECT_STREQ(cls, c.cls) << c.id;
        EXPECT_EQ(textOf(w), c.text) << c.id;
        const RECT du = dialogUnits(gui.dialog, w);
        EXPECT_NEAR(du.left, c.du.left, 1) << c.id;
        EXPECT_NEAR(du.top, c.du.top, 1) << c.id;
        EXPECT_NEAR(du.right, c.du.right, 1) << c.id;
        if (c.du.bottom) {
            EXPECT_NEAR(du.bottom, c.du.bottom, 1) << c.id;
        }
    }
    // Update is the default button; the focus stops, in the template's order.
    EXPECT_EQ(LOWORD(SendMessageA(gui.dialog, DM_GETDEFID, 0, 0)), 1001);
    std::vector<int> stops;
    for (HWND w = GetWindow(gui.item(1001), GW_HWNDFIRST); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (GetWindowLongA(w, GWL_STYLE) & WS_TABSTOP) stops.push_back(GetDlgCtrlID(w));
    }
    EXPECT_EQ(stops, (std::vector<int>{1001, 1000, 3, 1005, 1003, 1004, 4}));
    // The static texts, and none is cut off in the font the system gave the dialog.
    std::vector<std::string> labels;
    // The template's font, made here (a font handle is the other process's own).
    const HDC dc = GetDC(nullptr);
    const HFONT font =
        CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                    FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    const HGDIOBJ old = SelectObject(dc, font);
    for (HWND w = GetWindow(gui.item(1001), GW_HWNDFIRST); w; w = GetWindow(w, GW_HWNDNEXT)) {
        const std::string t = textOf(w);
        if (t.empty() || GetDlgCtrlID(w) == 1003 || GetDlgCtrlID(w) == 1004) continue;
        SIZE size;
        GetTextExtentPoint32A(dc, t.c_str(), static_cast<int>(t.size()), &size);
        RECT r;
        GetClientRect(w, &r);
        EXPECT_LE(size.cx, r.right) << t;
        labels.push_back(t);
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    for (const char* t : {"Transmit to", "Receive from", "Halden serial #",
                          "Current Halden version #", "Image filename"}) {
        EXPECT_NE(std::find(labels.begin(), labels.end(), t), labels.end()) << t;
    }
    // Buttons at the start, and Connect once both lists name a port.
    EXPECT_FALSE(gui.enabled(1000));
    EXPECT_FALSE(gui.enabled(3));
    EXPECT_FALSE(gui.enabled(1001));
    gui.choose(1003, 1);
    EXPECT_TRUE(until([&] { return !gui.enabled(1000); }));
    gui.choose(1004, 1);
    EXPECT_TRUE(until([&] { return gui.enabled(1000); }));
    gui.click(4);
    EXPECT_EQ(gui.exitCode(), 0);
}

TEST_F(GuiTest, ConnectABadFileAndAFullUpdate) {
    Gui gui;
    gui.connect();
    EXPECT_EQ(gui.text(1009), "000a7f100102");
    EXPECT_EQ(gui.text(1010), "1.4");
    EXPECT_FALSE(gui.enabled(1001));

    test::TempDir temp("halden-gui");
    const std::string bad = (temp.path() / "bad.hfi").string();
    std::ofstream(bad, std::ios::binary) << std::string("\x00\x12\x34\xff", 4);
    gui.nameImage(windowsPath(bad));
    const Box error = gui.box();
    EXPECT_EQ(error.text, "Update file CRC error");
    EXPECT_EQ(error.title, "Halden Firmware Update Utility Error");
    EXPECT_FALSE(error.yesNo);
    EXPECT_TRUE(error.owned);
    gui.answer();
    EXPECT_FALSE(gui.enabled(1001));

    gui.update(image("halden-1.5.hfi"));
    const Box done = gui.box();
    EXPECT_EQ(done.text, "Halden was successfully updated.");
    EXPECT_EQ(done.title, "Halden Firmware Update Utility");
    gui.answer();
    EXPECT_EQ(gui.text(1010), "1.5");

    // Another port chosen: a new Connect is needed.
    gui.idle();
    gui.choose(1004, 1);
    EXPECT_TRUE(until([&] { return !gui.enabled(3) && !gui.enabled(1001); }));
    EXPECT_TRUE(gui.enabled(1000));
}

// The progress window: its controls; Cancel by its button, by Enter and by Space on it;
// Escape ignored; a close request (Alt+F4) ends neither the window nor the update.
TEST_F(GuiTest, TheProgressWindow) {
    struct Way {
        const char* name;
        std::function<void(HWND)> act;
        std::string outcome;
    };
    const auto press = [](WPARAM key) {
        return [key](HWND progress) {
            const HWND cancel = GetDlgItem(progress, 1011);
            SendMessageA(progress, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(cancel), TRUE);
            PostMessageA(cancel, WM_KEYDOWN, key, 0);
            PostMessageA(cancel, WM_KEYUP, key, 0xC0000000);
        };
    };
    const std::vector<Way> ways = {
        {"Cancel clicked", [](HWND p) { SendMessageA(GetDlgItem(p, 1011), BM_CLICK, 0, 0); },
         kCanceledPastTheErase},
        {"Enter on Cancel", press(VK_RETURN), kCanceledPastTheErase},
        {"Space on Cancel", press(VK_SPACE), kCanceledPastTheErase},
        {"Escape", press(VK_ESCAPE), "Halden was successfully updated."},
        // Alt+F4 and the system's close request: the window stays, with its Cancel.
        {"close request",
         [](HWND p) {
             PostMessageA(p, WM_SYSCOMMAND, SC_CLOSE, 0);
             PostMessageA(p, WM_CLOSE, 0, 0);
             Sleep(500);
             EXPECT_TRUE(IsWindow(p) && IsWindowVisible(p)) << "the progress window went";
             EXPECT_TRUE(IsWindowEnabled(GetDlgItem(p, 1011)));
         },
         "Halden was successfully updated."},
    };
    for (const auto& way : ways) {
        Gui gui("--simulate");  // at the cable's pace: the update takes seconds
        gui.connect();
        gui.update(image("halden-1.5.hfi"));
        HWND progress = nullptr;
        ASSERT_TRUE(until([&] {
            progress = gui.progress();
            return progress && textOf(GetDlgItem(progress, 1012)) == "Updating Halden area...";
        })) << way.name;
        EXPECT_EQ(GetWindow(progress, GW_OWNER), nullptr);  // no owner
        EXPECT_EQ(textOf(GetDlgItem(progress, 1011)), "Cancel");
        EXPECT_EQ(SendMessageA(GetDlgItem(progress, 1013), PBM_GETRANGE, FALSE, 0), 100);
        const std::vector<std::pair<int, RECT>> layout = {
            {1012, {17, 13, 153, 10}}, {1013, {25, 31, 131, 14}}, {1011, {69, 51, 50, 14}}};
        for (const auto& [id, expected] : layout) {
            const RECT du = dialogUnits(progress, GetDlgItem(progress, id), 186, 73);
            EXPECT_NEAR(du.left, expected.left, 1) << id;
            EXPECT_NEAR(du.top, expected.top, 1) << id;
            EXPECT_NEAR(du.right, expected.right, 1) << id;
            EXPECT_NEAR(du.bottom, expected.bottom, 1) << id;
        }
        way.act(progress);
        EXPECT_EQ(gui.answer(), way.outcome) << way.name;
        EXPECT_EQ(gui.text(1010),
                  // After a Cancel past the erase no version is shown: the Halden has none.
                  way.outcome.find("updated") != std::string::npos ? "1.5" : "")
            << way.name;
    }
}

// Closing the main window while an update runs: the update goes on to its end, and then
// the program ends, as after Exit.
TEST_F(GuiTest, ACloseRequestDuringAnUpdateWaitsForIt) {
    Gui gui("--simulate");
    gui.connect();
    gui.update(image("halden-1.5.hfi"));
    ASSERT_TRUE(until([&] { return gui.progress() != nullptr; }));
    PostMessageA(gui.dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(gui.answer(), "Halden was successfully updated.");
    EXPECT_EQ(gui.exitCode(), 0);
}

// A MIDI port that fails during an update: its text, then the Halden's state, in a box
// that asks nothing; the program ends with exit code 1.
TEST_F(GuiTest, APortFailureIsFatal) {
    Gui gui("--simulate --baud 0 --sim-port-fails-after 8");
    gui.connect();
    gui.update(image("halden-1.5.hfi"));
    const Box fatal = gui.box();
    EXPECT_EQ(fatal.text, test::then("The MIDI port \"Halden Simulator\" has gone away. Is the "
                                     "MIDI interface still connected?",
                                     test::kErasedPortGone));
    EXPECT_EQ(fatal.title, "Halden Firmware Update Utility Error");
    EXPECT_FALSE(fatal.yesNo);
    gui.answer(IDOK);
    EXPECT_EQ(gui.exitCode(), 1);
}

// An image of the version the Halden runs: the question, as a Yes/No box whose default
// is No; No cancels, Yes goes on. (What No leaves the Halden in is the engine's to prove.)
TEST_F(GuiTest, TheUpToDateQuestion) {
    Gui gui;
    gui.connect();
    gui.update(image("halden-1.4.hfi"));
    const Box question = gui.box();
    EXPECT_EQ(question.text,
              "The Halden image in the Kestrel 9 is verified good and the version # matches the "
              "update file. Updating with this image file is unnecessary and will change "
              "nothing! Update anyway?");
    EXPECT_EQ(question.title, "Halden Firmware Update Utility");
    EXPECT_TRUE(question.yesNo);
    EXPECT_EQ(question.defaultButton, IDNO);
    gui.answer(IDNO);
    EXPECT_EQ(gui.answer(), test::then("Operation canceled", test::kNothingChanged));
    gui.click(1000);
    EXPECT_EQ(gui.answer(), "Connection established!");
    gui.click(1001);
    gui.answer(IDYES);
    EXPECT_EQ(gui.answer(), "Halden was successfully updated.");
}

// Enter presses the focused button: on Connect it connects again, and no update runs.
TEST_F(GuiTest, EnterPressesTheFocusedButton) {
    Gui gui;
    gui.connect();
    gui.nameImage(image("halden-1.5.hfi"));
    ASSERT_TRUE(until([&] { return gui.enabled(1001); }));
    gui.focus(1000);
    gui.key(1000, VK_RETURN);
    EXPECT_EQ(gui.answer(), "Connection established!");
    EXPECT_EQ(gui.text(1010), "1.4");
    gui.focus(4);
    gui.key(4, VK_RETURN);
    EXPECT_EQ(gui.exitCode(), 0);
}

// A box that takes the focus from the file name field does not check the name again
// when it closes: one error box, not one after another.
TEST_F(GuiTest, AnErrorBoxComesOnce) {
    Gui gui;
    gui.connect();
    gui.nameImage(image("halden-1.5.hfi"));
    ASSERT_TRUE(until([&] { return gui.enabled(1001); }));
    const std::string missing = image("no-such-image.hfi");
    gui.focus(1005);
    SendMessageA(gui.item(1005), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(missing.c_str()));
    gui.key(1005, VK_RETURN);  // the default button, Update, with the focus in the field
    EXPECT_EQ(gui.answer(), "Can't open file " + missing + " for reading");
    const Box again = gui.box(3s);
    EXPECT_EQ(again.window, nullptr) << "a second box: " << again.text;
    if (again.window) PostMessageA(again.window, WM_COMMAND, IDOK, 0);
}

// Stored positions past the end of the lists select nothing, show no entry, and are
// stored as no choice (-1) again.
TEST_F(GuiTest, StoredPositionsPastTheEndSelectNothing) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarnwick\\Halden", 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD past = 7;
    for (const char* name : {"InputBus", "OutputBus"}) {
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&past), sizeof past);
    }
    {
        Gui gui;
        ASSERT_NE(gui.dialog, nullptr);
        gui.idle();
        for (int list : {1003, 1004}) {
            EXPECT_EQ(gui.selection(list), -1) << list;
            EXPECT_EQ(gui.text(list), "") << list;
        }
        EXPECT_FALSE(gui.enabled(1000));
        gui.click(4);
        EXPECT_EQ(gui.exitCode(), 0);
    }
    for (const char* name : {"InputBus", "OutputBus"}) {
        DWORD value = 0, size = sizeof value;
        EXPECT_EQ(
            RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
        EXPECT_EQ(value, 0xFFFFFFFFu) << name;
    }
    RegCloseKey(key);
}

// A file whose path lies outside the old Windows character set is opened and updated
// from, and its name is shown as it is.
TEST_F(GuiTest, APathOfAnyCharacters) {
    test::TempDir temp("halden-gui");
    const std::filesystem::path folder = temp.path() / L"Mein Ordner \u2013 Gr\u00f6\u00dfe \u2713";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / L"Firmware ne\u00fc \u00e4 1.5.hfi";
    std::filesystem::copy_file(g_examples + "/halden-1.5.hfi", file);
    const std::wstring path = std::filesystem::absolute(file).make_preferred().wstring();

    Gui gui;
    gui.connect();
    gui.focus(1005);
    SendMessageW(gui.item(1005), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    gui.focus(1000);
    ASSERT_TRUE(until([&] { return gui.enabled(1001); }, 10s)) << gui.box(1s).text;
    wchar_t shown[1024] = {};
    SendMessageW(gui.item(1005), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(shown));
    EXPECT_EQ(std::wstring(shown), path);
    gui.click(1001);
    EXPECT_EQ(gui.answer(), "Halden was successfully updated.");
    EXPECT_EQ(gui.text(1010), "1.5");
}

// Long names are not cut: the drop-down is as wide as its longest entry, and a long path
// picked in the chooser shows its end, the file's name.
TEST_F(GuiTest, LongNamesAreShownWhole) {
    const std::string name = "Bench Halden 2 on a USB MIDI interface with a very long name";
    Gui gui("--simulate --baud 0 --sim-port-name \"" + name + "\"");
    ASSERT_NE(gui.dialog, nullptr);
    gui.idle();
    const HDC dc = GetDC(nullptr);
    const HFONT font =
        CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                    FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, name.c_str(), static_cast<int>(name.size()), &size);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    RECT box{};
    GetWindowRect(gui.item(1003), &box);
    ASSERT_GT(size.cx, box.right - box.left) << "the name fits the list anyway";
    for (int list : {1003, 1004}) {
        EXPECT_GE(SendMessageA(gui.item(list), CB_GETDROPPEDWIDTH, 0, 0), size.cx) << list;
    }

    test::TempDir temp("halden-gui");
    const std::filesystem::path folder =
        temp.path() / std::string(90, 'f') / "images of the bench" / std::string(60, 'g');
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(g_examples + "/halden-1.5.hfi", folder / "halden-1.5.hfi");
    const std::string path = windowsPath((folder / "halden-1.5.hfi").string());
    gui.choose(1003, 1);
    gui.choose(1004, 1);
    ASSERT_TRUE(until([&] { return gui.enabled(1000); }));
    gui.click(1000);
    ASSERT_EQ(gui.answer(), "Connection established!");
    ASSERT_TRUE(until([&] { return gui.enabled(3); }));
    PostMessageA(gui.item(3), BM_CLICK, 0, 0);
    HWND chooser = nullptr;
    ASSERT_TRUE(until([&] {
        for (HWND w : windowsOf(gui.process())) {
            if (textOf(w) == "Halden Firmware Update Utility file selector") chooser = w;
        }
        return chooser != nullptr;
    }));
    const HWND field = GetDlgItem(chooser, 0x47C);  // the file name (cmb13)
    ASSERT_NE(field, nullptr);
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(until([&] { return gui.text(1005) == path; })) << gui.text(1005);
    ASSERT_TRUE(until([&] { return gui.enabled(1001); }));
    const HWND edit = gui.item(1005);
    RECT client{};
    GetClientRect(edit, &client);
    const LRESULT last = SendMessageA(edit, EM_POSFROMCHAR, path.size() - 1, 0);
    const LRESULT first = SendMessageA(edit, EM_POSFROMCHAR, 0, 0);
    EXPECT_NE(last, -1);
    EXPECT_LT(static_cast<short>(LOWORD(last)), client.right) << "the file's name is not shown";
    EXPECT_LT(static_cast<short>(LOWORD(first)), 0) << "the path's start is shown";
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
