#include "app/main_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/desktop.h"
#include "expected_texts.h"
#include "rig.h"
#include "temp_dir.h"

namespace halden {
namespace {

using test::ascending;
using test::imageWithArea;
using Texts = std::vector<std::string>;

struct FakeView : MainWindowView {
    void enable(int c, bool on) override { enabled[c] = on; }
    void setText(int c, const std::string& t) override { texts[c] = t; }
    std::string text(int c) override { return texts[c]; }
    void setEntries(int list, const Texts& e) override {
        entries[list] = e;
        selected[list] = -1;
    }
    void select(int list, int at) override {
        selected[list] = at >= 0 && at < static_cast<int>(entries[list].size()) ? at : -1;
    }
    int selection(int list) override { return selected[list]; }
    bool chooseFile(std::string& path) override {
        path = chosen.value_or(path);
        return chosen.has_value();
    }
    void end(int code) override { exitCode = code; }

    std::map<int, bool> enabled;
    std::map<int, std::string> texts;
    std::map<int, Texts> entries;
    std::map<int, int> selected;
    std::optional<std::string> chosen;
    std::optional<int> exitCode;
};

struct FakeSettings : PortSettings {
    bool load(PortChoice& choice) override {
        if (stored) choice = *stored;
        return stored.has_value();
    }
    bool save(const PortChoice& choice) override {
        if (!failSaves) stored = choice;
        return !failSaves;
    }
    std::optional<PortChoice> stored;
    bool failSaves = false;
};

// The simulated Halden's MIDI ports. Device numbers need not match list positions: the
// first device's name "cannot be read" and is left out.
struct FakePorts : MidiPorts {
    Outcome enumeratePorts(PortNames& names) override {
        if (!listError.empty()) return portFailure(listError);
        names = listed;
        return {};
    }
    // As a backend: by name, wherever the port is now.
    Outcome openPorts(const Port& in, const Port& out) override {
        if (!findPort(listed.inputs, in)) return portGone("input", in.name);
        if (!findPort(listed.outputs, out)) return portGone("output", out.name);
        opened.emplace_back(in.name, out.name);
        open = true;
        return {};
    }
    void closePorts() override { open = false; }
    // The window reaches the Halden through the rig's io, never through these.
    StatusCode sendSysEx(ByteView) override { return status::kPortFailure; }
    std::string failureText() const override { return {}; }
    size_t maxMessageSize() const override { return 0; }
    std::string systemName() const override { return "Test MIDI"; }

    bool open = false;
    PortNames listed{{{"Other In", 1}, {"Halden In", 2}}, {{"Other Out", 1}, {"Halden Out", 2}}};
    std::string listError;
    std::vector<std::pair<std::string, std::string>> opened;
};

struct FakeHistory : History {
    Outcome append(HistoryEntry entry) override {
        entries.push_back(std::move(entry));
        if (!fails) return {};
        return Failure{status::kCannotOpenFile, "Can't write the update history h: full"};
    }
    std::vector<HistoryEntry> entries;
    bool fails = false;
};

// Created at once; `before` prepares what the window reads as it is created.
struct App {
    explicit App(SimOptions options = {}, const std::function<void(App&)>& before = {})
        : rig(options) {
        if (before) before(*this);
        created = window.create();
    }

    void click(int id) { window.command(id, Notification::Clicked); }
    void pick(int list, int position) {
        view.selected[list] = position;
        window.command(list, Notification::SelectionChanged);
    }
    void typeFile(const std::string& path) {
        view.texts[IDC_FILENAME] = path;
        window.command(IDC_FILENAME, Notification::TextChanged);
    }
    void nameFile(const std::string& path) {
        typeFile(path);
        window.command(IDC_FILENAME, Notification::FocusOut);
    }
    // Chooses the simulated Halden in both lists and connects.
    void connect() {
        pick(IDC_TRANSMIT, 2);
        pick(IDC_RECEIVE, 2);
        click(IDC_CONNECT);
    }
    bool on(int id) { return view.enabled[id]; }
    std::string file(const std::string& name, const Bytes& bytes) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << std::string(bytes.begin(), bytes.end());
        return path;
    }
    std::string image(const char* name = "a.hfi") {
        return file(name, imageWithArea(ascending(300)));
    }
    void expectDisconnected(const std::string& what) {
        EXPECT_FALSE(window.connected() || on(IDC_FINDIMAGE) || on(IDC_UPDATE)) << what;
        EXPECT_FALSE(ports.open) << what;  // not left open behind another choice
    }

    test::Rig rig;
    FakeView view;
    FakeSettings settings;
    FakePorts ports;
    FakeHistory history;
    MainWindow window{view, rig.io, ports, settings, history};
    test::TempDir temp{"halden-ui"};
    std::string dir = temp.string();
    const Texts& errors = rig.boxes.errors;
    bool created = false;
};

// A first window: nothing to click yet; Connect needs a port in both lists, Transmit
// first; Exit stores the lists. Without any port listed there is no window.
TEST(MainWindow, StartsWithButtonsDisabledOrEndsWithoutPorts) {
    App app;
    ASSERT_TRUE(app.created);
    EXPECT_FALSE(app.on(IDC_CONNECT) || app.on(IDC_FINDIMAGE) || app.on(IDC_UPDATE));
    EXPECT_EQ(app.view.entries[IDC_RECEIVE],
              (Texts{"(Choose a MIDI port)", "Other In", "Halden In"}));
    EXPECT_EQ(app.view.selected[IDC_TRANSMIT], 0);
    EXPECT_TRUE(app.errors.empty());      // a first run says nothing
    EXPECT_TRUE(app.view.texts.empty());  // no identity shown yet, no file named
    app.window.portsChanged();            // nothing chosen yet: the lists still ask for a choice
    EXPECT_EQ(app.view.selected[IDC_TRANSMIT], 0);
    app.click(IDC_CONNECT);  // needs a port in both lists, Transmit first
    app.pick(IDC_TRANSMIT, 1);
    EXPECT_FALSE(app.on(IDC_CONNECT));
    app.click(IDC_CONNECT);
    EXPECT_EQ(app.errors,
              (Texts{"MIDI Transmit bus not selected", "MIDI Receive bus not selected"}));
    EXPECT_TRUE(app.ports.opened.empty());
    app.pick(IDC_RECEIVE, 2);
    EXPECT_TRUE(app.on(IDC_CONNECT));
    app.click(IDC_EXIT);  // stores the lists
    EXPECT_EQ(app.view.exitCode, 0);
    EXPECT_EQ(app.settings.stored, (PortChoice{2, 1, "Halden In", "Other Out"}));
    App none({}, [](App& a) {
        a.ports.listError = "No MIDI input buses available! Please connect your MIDI interface";
    });
    EXPECT_FALSE(none.created);
    EXPECT_EQ(none.errors, Texts{none.ports.listError});
}

// The stored names find a port again whose position moved; positions alone (a store of
// another version) keep the stored positions, and one past the end of a list selects
// nothing; a name no longer listed selects nothing, and says so. Connect is ready as
// soon as the window shows both ports, before any focus moves.
TEST(MainWindow, RestoresTheStoredPorts) {
    const std::tuple<PortChoice, int, int> cases[] = {
        {{2, 1, "", ""}, 2, 1},
        {{5, 1, "", ""}, -1, 1},
        {{-1, 2, "", ""}, -1, 2},
        {{1, 1, "Halden In", "Halden Out"}, 2, 2},  // moved
        {{1, 2, "Unplugged In", "Unplugged Out"}, 0, 0},
    };
    const Texts unplugged = {
        "The MIDI ports chosen last time are not there now:\nTransmit to: Unplugged Out\nReceive "
        "from: Unplugged In\n\nConnect the MIDI interface, or choose other ports."};
    for (const auto& [stored, input, output] : cases) {
        App app({}, [&](App& a) { a.settings.stored = stored; });
        EXPECT_EQ(app.view.selected[IDC_RECEIVE], input) << stored.input;
        EXPECT_EQ(app.view.selected[IDC_TRANSMIT], output) << stored.output;
        EXPECT_EQ(app.on(IDC_CONNECT), input >= 1 && output >= 1) << stored.input;
        EXPECT_EQ(app.errors, input == 0 ? unplugged : Texts{}) << stored.input;
    }
}

// Connect opens the devices named, shows the identity and checks an image named before.
// Update takes the name shown, even typed without leaving the field, whole however long.
// Every command saves the lists, and a failed save disables Update; a list changed
// disconnects, and so does a Halden that does not answer. Ports that come and go: a
// choice that moved follows its name; one that went away ends the connection through it.
TEST(MainWindow, ConnectUpdateAndSave) {
    SimOptions options;
    options.serial = {0x01, 0x02, 0x03, 0x04, 0x05, 0x7F};
    options.version = {2, 9};
    App app(options);
    app.typeFile(app.image("old.hfi"));
    app.connect();
    EXPECT_EQ(app.view.texts[IDC_SERIAL], "01020304057f");
    EXPECT_EQ(app.view.texts[IDC_VERSION], "2.9");
    EXPECT_EQ(app.rig.boxes.notices, Texts{"Connection established!"});
    EXPECT_TRUE(app.window.connected() && app.on(IDC_FINDIMAGE) && app.on(IDC_UPDATE));
    const std::string sub = std::string(120, 'd') + "/" + std::string(120, 'd');
    std::filesystem::create_directories(app.dir + "/" + sub);
    const std::string path = app.file(sub + "/new.hfi", imageWithArea(ascending(1000, 6)));
    app.typeFile(path);
    app.click(IDC_UPDATE);
    EXPECT_TRUE(app.errors.empty());
    EXPECT_EQ(app.view.texts[IDC_VERSION], "6.7");  // new.hfi's, not old.hfi's
    EXPECT_EQ(app.rig.boxes.notices.back(), "Halden was successfully updated.");
    EXPECT_TRUE(app.on(IDC_UPDATE));  // another update can follow
    app.settings.stored.reset();
    app.window.command(IDC_NONE, Notification::Other);  // Escape
    EXPECT_EQ(app.settings.stored, (PortChoice{2, 2, "Halden In", "Halden Out"}));
    app.settings.failSaves = true;
    app.window.command(IDC_FILENAME, Notification::FocusIn);
    EXPECT_FALSE(app.on(IDC_UPDATE));
    EXPECT_TRUE(app.window.connected());
    app.settings.failSaves = false;
    app.window.command(IDC_FILENAME, Notification::FocusOut);
    ASSERT_TRUE(app.on(IDC_UPDATE));
    app.pick(IDC_RECEIVE, 1);
    app.expectDisconnected("a list changed");
    app.rig.toHost = [](ByteView) {};  // a Halden that does not answer
    app.connect();
    EXPECT_EQ(app.errors, Texts{test::then("MIDI Response timeout", test::kCheckConnection)});
    EXPECT_EQ(app.view.texts[IDC_SERIAL], "01020304057f");  // the identity shown is kept
    app.expectDisconnected("no answer");
    app.rig.toHost = nullptr;
    app.connect();
    app.ports.listed.inputs.insert(app.ports.listed.inputs.begin(), Port{"New In", 3});
    app.window.portsChanged();
    EXPECT_EQ(app.view.selected[IDC_RECEIVE], 3);
    EXPECT_TRUE(app.on(IDC_FINDIMAGE));
    app.ports.listed.outputs.pop_back();
    app.window.portsChanged();
    EXPECT_EQ(app.view.selected[IDC_TRANSMIT], 0);
    EXPECT_EQ(app.view.selected[IDC_RECEIVE], 3);
    EXPECT_FALSE(app.on(IDC_CONNECT));
    app.expectDisconnected("gone");
    // Connect through a port that went away unseen, another interface at its position
    // now: nothing opened or sent, the identity shown kept, the lists as they are now.
    app.pick(IDC_TRANSMIT, 1);
    app.ports.listed.inputs.back() = Port{"Bench 3 In", 2};
    const size_t sent = app.rig.link.sent.size();
    app.click(IDC_CONNECT);
    EXPECT_EQ(app.errors.back(),
              "The MIDI input port \"Halden In\" is no longer there. Is the MIDI interface still "
              "connected?");
    EXPECT_EQ(app.view.texts[IDC_SERIAL], "01020304057f");
    app.expectDisconnected("gone unseen");
    EXPECT_EQ(app.rig.link.sent.size(), sent);
    EXPECT_EQ(app.view.entries[IDC_RECEIVE],
              (Texts{"(Choose a MIDI port)", "New In", "Other In", "Bench 3 In"}));
    EXPECT_EQ(app.view.selected[IDC_RECEIVE], 0);
    EXPECT_FALSE(app.on(IDC_CONNECT));
}

// Leaving the field checks the image named, once connected (which text each bad file
// gets is the image reader's to prove). Find image needs a connection; a file chosen is
// checked; a chooser cancelled keeps the previous name, checked again. Update reads the
// file again: one damaged after it was checked sends nothing.
TEST(MainWindow, TheImageNamedOrFound) {
    Bytes badCrc = imageWithArea(ascending(10));
    badCrc[8] ^= 1;
    App app;
    const std::string bad = app.file("bad.hfi", badCrc), good = app.image("good.hfi");
    app.nameFile(bad);
    app.view.chosen = good;
    app.click(IDC_FINDIMAGE);
    EXPECT_EQ(app.errors, Texts{"Establish a connection first!"});
    EXPECT_EQ(app.view.texts[IDC_FILENAME], bad);  // no chooser
    app.connect();                                 // checks the name in the field
    EXPECT_EQ(app.errors.back(), "Update file CRC error");
    app.nameFile("");
    EXPECT_EQ(app.errors.size(), 2u);
    EXPECT_FALSE(app.on(IDC_UPDATE));
    app.click(IDC_FINDIMAGE);
    EXPECT_EQ(app.view.texts[IDC_FILENAME], good);
    EXPECT_TRUE(app.on(IDC_UPDATE));
    app.view.chosen.reset();
    std::filesystem::remove(good);
    app.click(IDC_FINDIMAGE);
    EXPECT_EQ(app.view.texts[IDC_FILENAME], good);
    EXPECT_EQ(app.errors.size(), 3u);
    EXPECT_FALSE(app.on(IDC_UPDATE));
    app.nameFile(app.image("good.hfi"));
    const size_t sent = app.rig.link.sent.size();
    std::fstream(good, std::ios::in | std::ios::out).seekp(8).put(0x55);
    app.click(IDC_UPDATE);
    EXPECT_EQ(app.errors.size(), 4u);
    EXPECT_EQ(app.errors.back(), "Update file CRC error");
    EXPECT_EQ(app.rig.link.sent.size(), sent);
}

// Every update is recorded, whatever its outcome, with what was known of the Halden
// before and after it. The window shows the version the Halden has now: none past the
// erase, what it said after an update it does not prove. A port failure ends the window.
TEST(MainWindow, AnUpdateEndsAndIsRecorded) {
    enum Fault { None, HistoryFails, SameVersion, Cancel, NotGood, Other, PortFails, Missed };
    const std::string canceled = "Operation canceled", unproven = test::kNotConfirmed;
    // The version shown after, the status and the version recorded, the error box (for
    // PortFails the fatal one).
    using Case = std::tuple<Fault, const char*, StatusCode, const char*, std::string>;
    const Case cases[] = {
        {None, "1.5", 0, "1.5", ""},
        {HistoryFails, "1.5", 0, "1.5", "Can't write the update history h: full"},
        {SameVersion, "1.4", 5, "", test::then(canceled, test::kNothingChanged)},
        {Cancel, "", 5, "", test::then(canceled, test::kErasedByCancel)},
        {NotGood, "", 19, "",
         test::then("The Halden does not report the new firmware as good", unproven)},
        {Other, "1.4", 20, "1.4",
         test::then("The Halden reports version 1.4 after the update; the image holds 1.5",
                    unproven)},
        {PortFails, "", 16, "", test::then("link unplugged", test::kErasedPortGone)},
        // A reply lost while the MIDI server missed cycles: counted from the update's start.
        {Missed, "", 7, "",
         test::then("MIDI Response timeout",
                    test::kErased +
                        "\n\nThe MIDI server missed 4 cycles while the computer was busy, so a "
                        "MIDI message was probably lost on the way. The Halden is not at fault "
                        "and takes the update again at once. Close busy programs first; on "
                        "Linux, the ALSA MIDI system (--midi-system alsa) does not lose "
                        "messages when the computer is busy.")},
    };
    for (const auto& [fault, version, status, after, box] : cases) {
        SimOptions sim;
        if (fault == NotGood) sim.statusAfterUpdate = 1;
        if (fault == Other) sim.versionAfterUpdate = Version{1, 4};
        if (fault == Missed) sim.loseReplyTo = 6;
        App app(sim);
        app.history.fails = fault == HistoryFails;
        app.connect();
        const uint8_t minor = fault == SameVersion ? 4 : 5;
        Bytes data = ascending(300);
        data[0] = 1, data[1] = minor;
        const Bytes image = imageWithArea(data, 1, minor);
        app.nameFile(app.file("v1.x.hfi", image));
        app.rig.progress.onSet = [&](std::string_view caption, int percent) {
            if (fault == Cancel && caption == "Updating Halden area..." && percent > 20)
                app.rig.cancel = true;
        };
        if (fault == PortFails) app.rig.link.failFrom = app.rig.link.sent.size() + 5;
        app.rig.link.missed = 7;  // before the update: not counted
        app.rig.link.missing = fault == Missed;
        app.click(IDC_UPDATE);
        const Texts boxes = box.empty() ? Texts{} : Texts{box};
        EXPECT_EQ(fault == PortFails ? app.rig.boxes.fatals : app.errors, boxes) << fault;
        EXPECT_EQ(app.rig.boxes.notices.size(), status == 0 ? 2u : 1u) << fault;
        EXPECT_EQ(app.view.texts[IDC_VERSION], version) << fault;
        EXPECT_EQ(app.view.texts[IDC_SERIAL], "000a7f100102") << fault;
        EXPECT_EQ(app.view.exitCode.value_or(-1), fault == PortFails ? 1 : -1) << fault;
        app.click(IDC_CONNECT);  // after a port failure the window has ended: nothing happens
        EXPECT_EQ(app.ports.opened.size(), fault == PortFails ? 1u : 2u) << fault;
        ASSERT_EQ(app.history.entries.size(), 1u) << fault;
        const HistoryEntry& e = app.history.entries[0];
        char checksum[8];
        std::snprintf(checksum, sizeof checksum, "0x%04X", image[1] | image[2] << 8);
        EXPECT_EQ((Texts{e.program, e.midiSystem, e.output, e.input, e.serial, e.versionBefore,
                         e.image, e.checksum, e.versionAfter}),
                  (Texts{"halden-gui 1.0.0", "Test MIDI", "Halden Out", "Halden In", "000a7f100102",
                         "1.4", "v1.x.hfi", checksum, after}))
            << fault;
        EXPECT_EQ(e.status, status) << fault;
        EXPECT_GT(e.seconds, 0) << fault;
    }
}

TEST(ListSelection, TextThatNamesNoEntryIsNoSelection) {
    const Texts entries = {"(Choose a MIDI port)", "USB MIDI 1", "Synth"};
    const std::tuple<int, const char*, int> cases[] = {
        {1, "USB MIDI 1", 1},  // the entry as shown
        {-1, "synth", 2},      // typed whole, in another case
        {0, "Synth", 2},       // the text wins over a stale position
        {5, "USB MIDI 1", 1},  // a position past the end
        {-1, "", -1},         {2, "Synth ", -1},
    };
    for (const auto& [current, text, expected] : cases)
        EXPECT_EQ(listSelection(current, text, entries), expected) << current << " " << text;
}

}  // namespace
}  // namespace halden
