#include "app/main_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "expected_texts.h"
#include "rig.h"
#include "temp_dir.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::ascending;
using test::imageWithArea;

class FakeView : public MainWindowView {
public:
    void enable(int c, bool on) override { enabled[c] = on; }
    void setText(int c, const std::string& t) override { texts[c] = t; }
    std::string text(int c) override { return texts[c]; }
    void setEntries(int list, const std::vector<std::string>& e) override {
        entries[list] = e;
        selected[list] = -1;
    }
    void select(int list, int position) override {
        const int size = static_cast<int>(entries[list].size());
        selected[list] = position >= 0 && position < size ? position : -1;
    }
    int selection(int list) override { return selected[list]; }
    bool chooseFile(std::string& path) override {
        ++choosers;
        if (!chosen) return false;
        path = *chosen;
        return true;
    }
    void end(int code) override { exitCode = code; }

    std::map<int, bool> enabled;
    std::map<int, std::string> texts;
    std::map<int, std::vector<std::string>> entries;
    std::map<int, int> selected;
    std::optional<std::string> chosen;
    int choosers = 0;
    std::optional<int> exitCode;
};

class FakeSettings : public PortSettings {
public:
    bool load(PortChoice& choice) override {
        if (!stored) return false;
        choice = *stored;
        return true;
    }
    bool save(const PortChoice& choice) override {
        ++saves;
        if (failSaves) return false;
        stored = choice;
        return true;
    }
    std::optional<PortChoice> stored;
    bool failSaves = false;
    int saves = 0;
};

// The simulated Halden as MIDI ports, on virtual time. Device numbers need not match
// list positions: the first device's name "cannot be read" and is left out.
class FakePorts : public MidiPorts {
public:
    explicit FakePorts(SysExSender& link) : link_(link) {}
    Outcome enumeratePorts(PortNames& names) override {
        if (!listError.empty()) return portFailure(listError);
        names = listed;
        return {};
    }
    // As a backend: by name, wherever the port is now.
    Outcome openPorts(const Port& in, const Port& out) override {
        if (!openError.empty()) return portFailure(openError);
        if (!findPort(listed.inputs, in)) return portGone("input", in.name);
        if (!findPort(listed.outputs, out)) return portGone("output", out.name);
        opened.emplace_back(in.name, out.name);
        open = true;
        return {};
    }
    void closePorts() override { open = false; }
    StatusCode sendSysEx(ByteView m) override {
        if (!open) return status::kPortFailure;
        return link_.sendSysEx(m);
    }
    std::string failureText() const override { return "port gone"; }
    size_t maxMessageSize() const override { return link_.maxMessageSize(); }
    std::string systemName() const override { return "Test MIDI"; }

    bool open = false;
    PortNames listed{{{"Other In", 1}, {"Halden In", 2}}, {{"Other Out", 1}, {"Halden Out", 2}}};
    std::string listError, openError;
    std::vector<std::pair<std::string, std::string>> opened;

private:
    SysExSender& link_;
};

class FakeHistory : public History {
public:
    Outcome append(HistoryEntry entry) override {
        entries.push_back(std::move(entry));
        if (fails)
            return Failure{status::kCannotOpenFile, "Can't write the update history h: full"};
        return {};
    }
    std::vector<HistoryEntry> entries;
    bool fails = false;
};

struct App {
    explicit App(SimOptions options = {}) : rig(options), ports(rig.link) {}

    bool start() { return window.create(); }
    void click(int id) { window.command(id, Notification::Clicked); }
    void pick(int list, int position) {
        view.selected[list] = position;
        window.command(list, Notification::SelectionChanged);
    }
    void typeFile(const std::string& path) {
        view.texts[IDC_FILENAME] = path;
        window.command(IDC_FILENAME, Notification::TextChanged);
    }
    void leaveField() { window.command(IDC_FILENAME, Notification::FocusOut); }
    // Chooses the simulated Halden in both lists and connects.
    void connect() {
        pick(IDC_TRANSMIT, 2);
        pick(IDC_RECEIVE, 2);
        click(IDC_CONNECT);
    }
    bool on(int id) { return view.enabled[id]; }
    std::string file(const std::string& name, const Bytes& bytes) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    test::Rig rig;
    FakeView view;
    FakeSettings settings;
    FakePorts ports;
    FakeHistory history;
    MainWindow window{view, rig.io, ports, settings, history};
    test::TempDir temp{"halden-ui"};
    std::string dir = temp.string();
};

TEST(MainWindow, StartsWithButtonsDisabledAndListsFilled) {
    App app;
    ASSERT_TRUE(app.start());
    EXPECT_FALSE(app.on(IDC_CONNECT));
    EXPECT_FALSE(app.on(IDC_FINDIMAGE));
    EXPECT_FALSE(app.on(IDC_UPDATE));
    EXPECT_EQ(app.view.entries[IDC_RECEIVE],
              (std::vector<std::string>{"(Choose a MIDI port)", "Other In", "Halden In"}));
    EXPECT_EQ(app.view.selected[IDC_TRANSMIT], 0);
    EXPECT_TRUE(app.rig.boxes.errors.empty());  // a first run says nothing
}

TEST(MainWindow, NoPortsEndsTheProgram) {
    App app;
    app.ports.listError = "No MIDI input buses available! Please connect your MIDI interface";
    EXPECT_FALSE(app.start());
    EXPECT_EQ(app.rig.boxes.errors, std::vector<std::string>{app.ports.listError});
}

// Connect is ready as soon as the window shows both stored ports, before any focus
// moves; a stored position past the end of a list selects nothing.
TEST(MainWindow, RestoresSelectionsAndEnablesConnectAtOnce) {
    struct Case {
        PortChoice stored;
        int input, output;
    };
    for (auto c :
         {Case{{2, 1, {}, {}}, 2, 1}, Case{{5, 1, {}, {}}, -1, 1}, Case{{-1, 2, {}, {}}, -1, 2}}) {
        App app;
        app.settings.stored = c.stored;
        app.start();
        EXPECT_EQ(app.view.selected[IDC_RECEIVE], c.input);
        EXPECT_EQ(app.view.selected[IDC_TRANSMIT], c.output);
        EXPECT_EQ(app.on(IDC_CONNECT), c.input >= 1 && c.output >= 1);
    }
}

// The stored names find a port again whose position moved; positions alone (a store
// of another version) keep the stored positions; a name no longer listed selects
// nothing, and says so.
TEST(MainWindow, FindsAPortAgainByItsName) {
    struct Case {
        const char* what;
        PortChoice stored;
        int input, output;
    };
    const Case cases[] = {
        {"moved", {1, 1, "Halden In", "Halden Out"}, 2, 2},
        {"in place", {2, 1, "Halden In", "Other Out"}, 2, 1},
        {"no names", {1, 2, "", ""}, 1, 2},
        {"gone", {1, 2, "Unplugged In", "Unplugged Out"}, 0, 0},
    };
    for (const Case& c : cases) {
        App app;
        app.settings.stored = c.stored;
        app.start();
        EXPECT_EQ(app.view.selected[IDC_RECEIVE], c.input) << c.what;
        EXPECT_EQ(app.view.selected[IDC_TRANSMIT], c.output) << c.what;
        EXPECT_EQ(app.rig.boxes.errors.size(), c.input == 0 ? 1u : 0u) << c.what;
    }
    App app;
    app.start();
    app.pick(IDC_TRANSMIT, 2);
    app.pick(IDC_RECEIVE, 1);
    app.click(IDC_EXIT);  // saves what the lists show
    ASSERT_TRUE(app.settings.stored);
    EXPECT_EQ(*app.settings.stored, (PortChoice{1, 2, "Other In", "Halden Out"}));
}

// The lists showed the Halden, which then went away; another interface now stands at
// its positions. Connect opens nothing, names the port that is gone, and the lists show
// what is there.
TEST(MainWindow, ConnectRefusesAnInterfaceThatWentAway) {
    App app;
    app.settings.stored = PortChoice{2, 2, "Halden In", "Halden Out"};
    app.start();
    app.ports.listed = {{{"Other In", 1}, {"Bench 3 In", 2}},
                        {{"Other Out", 1}, {"Bench 3 Out", 2}}};
    app.click(IDC_CONNECT);
    EXPECT_TRUE(app.ports.opened.empty());
    EXPECT_EQ(app.rig.halden.receivedCount(), 0u);
    EXPECT_EQ(app.rig.boxes.errors,
              std::vector<std::string>{"The MIDI input port \"Halden In\" is no longer there. Is "
                                       "the MIDI interface still connected?"});
    EXPECT_EQ(app.view.entries[IDC_TRANSMIT],
              (std::vector<std::string>{"(Choose a MIDI port)", "Other Out", "Bench 3 Out"}));
    EXPECT_EQ(app.view.selected[IDC_TRANSMIT], 0);
    EXPECT_FALSE(app.on(IDC_CONNECT));
}

// Ports that come and go while the window is open: a choice that moved follows its name;
// one that went away ends the connection through it.
TEST(MainWindow, TheListsFollowThePorts) {
    App first;  // nothing chosen yet: the lists still ask for a choice
    first.start();
    first.window.portsChanged();
    EXPECT_EQ(first.view.selected[IDC_TRANSMIT], 0);
    App app;
    app.start();
    app.connect();
    ASSERT_TRUE(app.on(IDC_FINDIMAGE));
    app.ports.listed.inputs.insert(app.ports.listed.inputs.begin(), Port{"New In", 3});
    app.window.portsChanged();
    EXPECT_EQ(app.view.selected[IDC_RECEIVE], 3);
    EXPECT_TRUE(app.on(IDC_FINDIMAGE));
    app.ports.listed.outputs.pop_back();
    app.window.portsChanged();
    EXPECT_EQ(app.view.selected[IDC_TRANSMIT], 0);
    EXPECT_EQ(app.view.selected[IDC_RECEIVE], 3);
    EXPECT_FALSE(app.on(IDC_FINDIMAGE));
    EXPECT_FALSE(app.on(IDC_CONNECT));
    EXPECT_FALSE(app.window.connected());
}

TEST(MainWindow, ConnectNeedsAPortInBothLists) {
    struct Case {
        int out, in;
        bool enabled;
    };
    for (auto c : {Case{0, 0, false}, Case{1, 0, false}, Case{0, 1, false}, Case{-1, 2, false},
                   Case{1, 1, true}, Case{2, 1, true}}) {
        App app;
        app.start();
        app.pick(IDC_TRANSMIT, c.out);
        app.pick(IDC_RECEIVE, c.in);
        EXPECT_EQ(app.on(IDC_CONNECT), c.enabled) << c.out << "," << c.in;
    }
}

TEST(MainWindow, ConnectRefusesMissingSelectionsTransmitFirst) {
    App app;
    app.start();
    app.click(IDC_CONNECT);
    app.pick(IDC_TRANSMIT, 1);
    app.click(IDC_CONNECT);
    EXPECT_EQ(app.rig.boxes.errors, (std::vector<std::string>{"MIDI Transmit bus not selected",
                                                              "MIDI Receive bus not selected"}));
    EXPECT_TRUE(app.ports.opened.empty());
}

TEST(MainWindow, EveryCommandSavesAndAFailedSaveDisablesUpdate) {
    App app;
    app.start();
    app.connect();
    const std::string image = app.file("a.hfi", imageWithArea(ascending(10)));
    app.typeFile(image);
    app.leaveField();
    ASSERT_TRUE(app.on(IDC_UPDATE));
    const int saves = app.settings.saves;
    app.window.command(IDC_NONE, Notification::Other);  // Escape
    EXPECT_EQ(app.settings.saves, saves + 1);
    app.settings.failSaves = true;
    app.window.command(IDC_FILENAME, Notification::FocusIn);
    EXPECT_FALSE(app.on(IDC_UPDATE));
    EXPECT_TRUE(app.window.connected());
}

TEST(MainWindow, ConnectShowsTheIdentityAndOpensTheNamedDevices) {
    SimOptions options;
    options.serial = {0x01, 0x02, 0x03, 0x04, 0x05, 0x7F};
    options.version = {2, 9};
    App app(options);
    app.start();
    app.connect();
    EXPECT_EQ(app.ports.opened,
              (std::vector<std::pair<std::string, std::string>>{{"Halden In", "Halden Out"}}));
    EXPECT_EQ(app.view.texts[IDC_SERIAL], "01020304057f");
    EXPECT_EQ(app.view.texts[IDC_VERSION], "2.9");
    EXPECT_EQ(app.rig.boxes.notices, std::vector<std::string>{"Connection established!"});
    EXPECT_TRUE(app.on(IDC_FINDIMAGE));
    EXPECT_FALSE(app.on(IDC_UPDATE));
    EXPECT_TRUE(app.window.connected());
}

TEST(MainWindow, ConnectWithAValidImageNamedEnablesUpdate) {
    App app;
    app.start();
    app.typeFile(app.file("a.hfi", imageWithArea(ascending(10))));
    app.connect();
    EXPECT_TRUE(app.on(IDC_UPDATE));
}

TEST(MainWindow, ConnectToASilentHaldenTimesOut) {
    SimOptions options;
    options.silent = true;
    App app(options);
    app.start();
    app.view.texts[IDC_SERIAL] = "kept";
    app.connect();
    EXPECT_EQ(app.rig.boxes.errors, std::vector<std::string>{test::then("MIDI Response timeout",
                                                                        test::kCheckConnection)});
    EXPECT_GE(app.rig.clock.now(), 30s);
    EXPECT_FALSE(app.ports.open);
    EXPECT_FALSE(app.on(IDC_FINDIMAGE));
    EXPECT_EQ(app.view.texts[IDC_SERIAL], "kept");
}

TEST(MainWindow, APortThatCannotBeOpenedLeavesItDisconnected) {
    App app;
    app.start();
    app.connect();
    app.ports.openError =
        "Can't open the MIDI input port \"X\". Is the MIDI port currently in use?";
    app.click(IDC_CONNECT);
    EXPECT_EQ(app.rig.boxes.errors, std::vector<std::string>{app.ports.openError});
    EXPECT_FALSE(app.window.connected());
    EXPECT_FALSE(app.on(IDC_FINDIMAGE));
    EXPECT_FALSE(app.on(IDC_UPDATE));
}

TEST(MainWindow, ChangingAListDisconnects) {
    App app;
    app.start();
    app.typeFile(app.file("a.hfi", imageWithArea(ascending(10))));
    app.connect();
    ASSERT_TRUE(app.on(IDC_UPDATE));
    app.pick(IDC_RECEIVE, 1);
    EXPECT_FALSE(app.window.connected());
    EXPECT_FALSE(app.on(IDC_FINDIMAGE));
    EXPECT_FALSE(app.on(IDC_UPDATE));
}

TEST(MainWindow, LeavingTheFieldChecksTheImage) {
    struct Case {
        const char* name;
        bool connect;
        std::function<std::string(App&)> makeFile;
        std::vector<std::string> errors;
        bool update;
    };
    Bytes badCrc = imageWithArea(ascending(10));
    badCrc[8] ^= 1;
    const std::vector<Case> cases = {
        {"valid",
         true,
         [](App& a) { return a.file("a.hfi", imageWithArea(ascending(10))); },
         {},
         true},
        {"empty name", true, [](App&) { return std::string(); }, {}, false},
        {"not connected", false, [&](App& a) { return a.file("a.hfi", badCrc); }, {}, false},
        {"bad checksum",
         true,
         [&](App& a) { return a.file("a.hfi", badCrc); },
         {"Update file CRC error"},
         false},
    };
    for (const auto& c : cases) {
        App app;
        app.start();
        if (c.connect) app.connect();
        app.typeFile(c.makeFile(app));
        app.leaveField();
        // Which text each bad file gets is the image reader's to prove.
        EXPECT_EQ(app.rig.boxes.errors, c.errors) << c.name;
        EXPECT_EQ(app.on(IDC_UPDATE), c.update) << c.name;
    }
}

// A name longer than 248 characters is used whole, never cut short.
TEST(MainWindow, ALongPathIsUsedWhole) {
    App app;
    app.start();
    app.connect();
    const std::string sub(120, 'd');
    std::filesystem::create_directories(app.dir + "/" + sub + "/" + sub);
    const Bytes data = ascending(300, 6);
    const std::string path = app.file(sub + "/" + sub + "/a.hfi", imageWithArea(data));
    ASSERT_GT(path.size(), 248u);
    app.typeFile(path);
    app.leaveField();
    EXPECT_TRUE(app.rig.boxes.errors.empty());
    ASSERT_TRUE(app.on(IDC_UPDATE));
    app.click(IDC_UPDATE);
    EXPECT_EQ(app.rig.halden.memory(), data);
}

TEST(MainWindow, FindImageNeedsAConnection) {
    App app;
    app.start();
    app.click(IDC_FINDIMAGE);
    EXPECT_EQ(app.rig.boxes.errors, std::vector<std::string>{"Establish a connection first!"});
    EXPECT_EQ(app.view.choosers, 0);
}

TEST(MainWindow, FindImageChecksTheChosenFileOrKeepsThePreviousOne) {
    App app;
    app.start();
    app.connect();
    const std::string good = app.file("good.hfi", imageWithArea(ascending(10)));
    app.view.chosen = good;
    app.click(IDC_FINDIMAGE);
    EXPECT_EQ(app.view.texts[IDC_FILENAME], good);
    EXPECT_TRUE(app.on(IDC_UPDATE));
    app.view.chosen.reset();  // cancelled: the previous name is checked again
    std::filesystem::remove(good);
    app.click(IDC_FINDIMAGE);
    EXPECT_EQ(app.view.texts[IDC_FILENAME], good);
    EXPECT_EQ(app.rig.boxes.errors.size(), 1u);
    EXPECT_FALSE(app.on(IDC_UPDATE));
}

TEST(MainWindow, UpdateWritesTheImageAndShowsTheNewVersion) {
    App app;
    app.start();
    app.connect();
    const Bytes data = ascending(1000, 3);
    app.typeFile(app.file("a.hfi", imageWithArea(data)));
    app.leaveField();
    app.click(IDC_UPDATE);
    EXPECT_EQ(app.rig.halden.memory(), data);
    EXPECT_EQ(app.view.texts[IDC_VERSION], "3.4");
    EXPECT_EQ(app.rig.boxes.notices.back(), "Halden was successfully updated.");
    EXPECT_TRUE(app.on(IDC_UPDATE));  // another update can follow
}

TEST(MainWindow, UpdateUsesTheNameShownNotTheOneLastChecked) {
    App app;
    app.start();
    app.connect();
    app.typeFile(app.file("old.hfi", imageWithArea(ascending(100, 5))));
    app.leaveField();
    const Bytes fresh = ascending(200, 7);
    app.typeFile(app.file("new.hfi", imageWithArea(fresh)));  // Enter without leaving
    app.click(IDC_UPDATE);
    EXPECT_EQ(app.rig.halden.memory(), fresh);
}

TEST(MainWindow, UpdateRereadsTheFileAndSendsNothingWhenItChanged) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> change;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"deleted", [](const std::string& p) { std::filesystem::remove(p); },
         "Can't open file PATH for reading"},
        {"damaged",
         [](const std::string& p) {
             std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(8);
             f.put(0x55);
         },
         "Update file CRC error"},
        {"emptied", [](const std::string& p) { std::ofstream(p, std::ios::trunc); },
         "Update file image corrupt"},
    };
    for (const auto& c : cases) {
        App app;
        app.start();
        app.connect();
        const std::string path = app.file("a.hfi", imageWithArea(ascending(300)));
        app.typeFile(path);
        app.leaveField();
        const size_t sent = app.rig.link.sent.size();
        c.change(path);
        app.click(IDC_UPDATE);
        std::string expected = c.error;
        if (auto at = expected.find("PATH"); at != std::string::npos) expected.replace(at, 4, path);
        EXPECT_EQ(app.rig.boxes.errors, std::vector<std::string>{expected}) << c.name;
        EXPECT_EQ(app.rig.link.sent.size(), sent) << c.name;
    }
}

// Past the erase, the version shown is gone from the Halden: it is no longer shown.
TEST(MainWindow, ACancelPastTheEraseSaysTheHaldenIsErased) {
    App app;
    app.start();
    app.connect();
    app.typeFile(app.file("a.hfi", imageWithArea(ascending(1000, 9))));
    app.leaveField();
    app.rig.progress.onSet = [&](std::string_view caption, int percent) {
        if (caption == "Updating Halden area..." && percent > 20) app.rig.cancel = true;
    };
    app.click(IDC_UPDATE);
    EXPECT_EQ(app.rig.boxes.errors,
              std::vector<std::string>{test::then("Operation canceled", test::kErasedByCancel)});
    EXPECT_EQ(app.view.texts[IDC_VERSION], "");
    EXPECT_EQ(app.view.texts[IDC_SERIAL], "000a7f100102");
}

TEST(MainWindow, APortFailureIsFatal) {
    App app;
    app.start();
    app.connect();
    app.typeFile(app.file("a.hfi", imageWithArea(ascending(1000))));
    app.leaveField();
    app.rig.link.failFrom = app.rig.link.sent.size() + 5;
    app.click(IDC_UPDATE);
    EXPECT_EQ(app.rig.boxes.fatals,
              std::vector<std::string>{test::then("link unplugged", test::kErasedPortGone)});
    EXPECT_EQ(app.view.exitCode, 1);
    app.click(IDC_CONNECT);  // the window has ended: nothing more happens
    EXPECT_EQ(app.ports.opened.size(), 1u);
}

TEST(MainWindow, ExitSavesTheSelectionsAndEnds) {
    App app;
    app.start();
    app.pick(IDC_TRANSMIT, 1);
    app.pick(IDC_RECEIVE, 1);
    app.click(IDC_EXIT);
    EXPECT_EQ(app.view.exitCode, 0);
    ASSERT_TRUE(app.settings.stored);
    EXPECT_EQ(app.settings.stored->input, 1);
    EXPECT_EQ(app.settings.stored->output, 1);
    App next;
    next.settings.stored = app.settings.stored;
    next.start();
    EXPECT_EQ(next.view.selected[IDC_RECEIVE], 1);
    EXPECT_EQ(next.view.selected[IDC_TRANSMIT], 1);
}

// After the read-back: a Halden that does not prove the update fails it, with the
// identity it read back on show.
TEST(MainWindow, AnUpdateTheHaldenDoesNotProveFails) {
    struct Case {
        const char* name;
        std::optional<uint8_t> statusAfter;
        std::optional<Version> versionAfter;
        std::string error, version;
    };
    const std::vector<Case> cases = {
        {"not good", 1, {}, "The Halden does not report the new firmware as good", ""},
        {"old version",
         {},
         Version{1, 4},
         "The Halden reports version 1.4 after the update; the image holds 1.5",
         "1.4"},
    };
    for (const Case& c : cases) {
        SimOptions options;
        options.statusAfterUpdate = c.statusAfter;
        options.versionAfterUpdate = c.versionAfter;
        App app(options);
        app.start();
        app.connect();
        Bytes data = ascending(300);
        data[0] = 1, data[1] = 5;
        app.typeFile(app.file("v1.5.hfi", imageWithArea(data, 1, 5)));
        app.leaveField();
        app.click(IDC_UPDATE);
        EXPECT_EQ(app.rig.boxes.errors,
                  std::vector<std::string>{test::then(c.error, test::kNotConfirmed)})
            << c.name;
        EXPECT_EQ(app.rig.boxes.notices.size(), 1u) << c.name;  // only Connect's
        EXPECT_EQ(app.view.texts[IDC_VERSION], c.version) << c.name;
        EXPECT_EQ(app.view.texts[IDC_SERIAL], "000a7f100102") << c.name;
    }
}

// Before the erase, a failure says that nothing was changed, and the version stays.
TEST(MainWindow, AFailureBeforeTheEraseSaysNothingChanged) {
    App app;
    app.start();
    app.connect();
    app.typeFile(app.file("same.hfi", imageWithArea(ascending(10), 1, 4)));
    app.leaveField();
    app.click(IDC_UPDATE);  // the up-to-date question, answered No
    EXPECT_EQ(app.rig.boxes.errors,
              std::vector<std::string>{test::then("Operation canceled", test::kNothingChanged)});
    EXPECT_EQ(app.view.texts[IDC_VERSION], "1.4");
}

// Every update is recorded, whatever its outcome, with what was known of the Halden
// before and after it.
TEST(MainWindow, EveryUpdateIsRecorded) {
    struct Case {
        const char* name;
        std::map<unsigned, uint8_t> blockResults;
        bool historyFails;
        StatusCode status;
        const char* after;
    };
    const Case cases[] = {
        {"done", {}, false, 0, "1.5"},
        {"failed past the erase", {{1, 1}}, false, 11, ""},
        {"done, the history not written", {}, true, 0, "1.5"},
    };
    for (const Case& c : cases) {
        SimOptions options;
        options.blockResults = c.blockResults;
        App app(options);
        app.history.fails = c.historyFails;
        app.start();
        app.connect();
        Bytes data = ascending(300);
        data[0] = 1, data[1] = 5;
        const std::string path = app.file("v1.5.hfi", imageWithArea(data, 1, 5));
        app.typeFile(path);
        app.leaveField();
        app.click(IDC_UPDATE);
        ASSERT_EQ(app.history.entries.size(), 1u) << c.name;
        const HistoryEntry& e = app.history.entries[0];
        EXPECT_EQ(e.program, "halden-gui 1.0.0");
        EXPECT_EQ(e.midiSystem, "Test MIDI");
        EXPECT_EQ(e.output, "Halden Out");
        EXPECT_EQ(e.input, "Halden In");
        EXPECT_EQ(e.serial, "000a7f100102");
        EXPECT_EQ(e.versionBefore, "1.4");
        EXPECT_EQ(e.versionAfter, c.after) << c.name;
        EXPECT_EQ(e.image, "v1.5.hfi");
        const Bytes image = imageWithArea(data, 1, 5);
        char checksum[8];
        std::snprintf(checksum, sizeof checksum, "0x%04X", image[1] | image[2] << 8);
        EXPECT_EQ(e.checksum, checksum);
        EXPECT_EQ(e.status, c.status) << c.name;
        EXPECT_GT(e.seconds, 0.1);
        if (c.historyFails) {
            // Told after the outcome.
            EXPECT_EQ(app.rig.boxes.notices.back(), "Halden was successfully updated.");
            EXPECT_EQ(app.rig.boxes.errors,
                      std::vector<std::string>{"Can't write the update history h: full"});
        } else if (c.status == 0) {
            EXPECT_TRUE(app.rig.boxes.errors.empty());
        }
    }
}

}  // namespace
}  // namespace halden
