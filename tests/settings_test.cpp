#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/file_port_settings.h"
#include "port_positions.h"
#include "rig.h"
#include "temp_dir.h"

namespace halden {
namespace {

namespace fs = std::filesystem;

PortChoice at(int input, int output) {
    return {input, output, {}, {}};
}

struct SettingsRig {
    test::TempDir temp{"halden-settings"};
    fs::path dir = temp.path();
    fs::path path = dir / "halden" / "ports.conf";
    test::ScriptedBoxes boxes;
    FilePortSettings store() { return FilePortSettings(path.string(), boxes); }
};

TEST(FilePortSettings, MissingOrDamagedFileIsAFirstRun) {
    const struct {
        const char* name;
        std::optional<std::string> content;  // nothing: no file
        bool loads;
        int in, out;  // what the variables hold afterwards
    } cases[] = {
        {"missing", std::nullopt, false, -1, -1},
        {"empty", "", false, -1, -1},
        {"garbage", "\x01\x02 not a setting\n", false, -1, -1},
        {"cut off after the first value", "InputBus=3\nOutputB", false, 3, -1},
        {"not a number", "InputBus=x\nOutputBus=1\n", false, -1, -1},
        {"out of range", "InputBus=-7\nOutputBus=1\n", false, -1, -1},
        {"in any order", "OutputBus=4\nInputBus=2\n", true, 2, 4},
    };
    for (const auto& c : cases) {
        SettingsRig rig;
        if (c.content) {
            fs::create_directories(rig.path.parent_path());
            std::ofstream(rig.path) << *c.content;
        }
        int in = -1, out = -1;
        EXPECT_EQ(test::loadPositions(rig.store(), in, out), c.loads) << c.name;
        EXPECT_EQ(std::pair(in, out), std::pair(c.in, c.out)) << c.name;
        EXPECT_TRUE(rig.boxes.errors.empty()) << c.name;
    }
}

// A path that is no settings file is neither read nor replaced, and said so once; at the
// size limit it is still read.
TEST(FilePortSettings, WhatIsNoSettingsFileIsLeftAloneAndToldOnce) {
    SettingsRig rig;
    const std::string valid = "InputBus=1\nOutputBus=2\n",
                      folder = (rig.dir / "ports.conf").string(),
                      big = (rig.dir / "big.conf").string(), fifo = (rig.dir / "fifo").string(),
                      limit = (rig.dir / "limit.conf").string();
    fs::create_directories(folder);
    std::ofstream(big) << valid << std::string(64 * 1024, '#');
    std::ofstream(limit) << valid << std::string(64 * 1024 - valid.size(), '#');
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // a pipe, which would wait for ever
    const struct {
        std::string path;
        const char* why;   // none: read
        bool save = true;  // and then try to save there
    } cases[] = {
        {folder, "it is a folder"},
        {big, "it is larger than a settings file can be (64 KiB)"},
        {fifo, "it is not a regular file"},
        // Read only: a store that wrongly wrote there would replace the device (as root).
        {"/dev/zero", "it is not a regular file", false},
        {limit, nullptr},
    };
    const auto state = [](const std::string& path) {
        std::error_code ec;
        return std::pair(fs::status(path).type(), fs::file_size(path, ec));
    };
    for (const auto& c : cases) {
        test::ScriptedBoxes boxes;
        const auto before = state(c.path);
        FilePortSettings settings(c.path, boxes);
        int in = -1, out = -1;
        EXPECT_EQ(test::loadPositions(settings, in, out), !c.why) << c.path;
        if (!c.why) {
            EXPECT_EQ(out, 2);
            EXPECT_TRUE(boxes.errors.empty());
            continue;
        }
        if (c.save) {
            EXPECT_TRUE(settings.save(at(3, 4))) << c.path;
            EXPECT_TRUE(settings.save(at(5, 6))) << c.path;
            EXPECT_EQ(state(c.path), before) << c.path;
            EXPECT_FALSE(fs::exists(c.path + ".new")) << c.path;
        }
        EXPECT_EQ(boxes.errors,
                  std::vector<std::string>{"Can't use the settings file " + c.path + ": " + c.why +
                                           ". The chosen MIDI ports are not "
                                           "remembered this time."});
    }
}

// Positions (none chosen too) and names, the same when read again; nothing left beside.
TEST(FilePortSettings, KeepsThePositionsAndThePortsNames) {
    SettingsRig rig;
    FilePortSettings settings = rig.store();
    ASSERT_TRUE(settings.save({2, 3, "USB MIDI 1:0", "Synth \xe2\x9c\x93"}));
    // A name with a line break would break the file: it is not kept.
    PortChoice loaded;
    ASSERT_TRUE(rig.store().load(loaded));
    EXPECT_EQ(loaded, (PortChoice{2, 3, "USB MIDI 1:0", "Synth \xe2\x9c\x93"}));
    ASSERT_TRUE(settings.save({-1, 0, "two\nlines", "x"}));
    PortChoice again;
    ASSERT_TRUE(rig.store().load(again));
    EXPECT_EQ(again, (PortChoice{-1, 0, "", "x"}));
    EXPECT_FALSE(fs::exists(rig.path.string() + ".new"));
    EXPECT_TRUE(rig.boxes.errors.empty());
}

// A store that cannot be written (its folder, or its file's place, taken) says where and
// why once, never the registry, which this system does not have; and saves once it can.
TEST(FilePortSettings, AFailedWriteIsToldOnce) {
    for (const bool folderTaken : {true, false}) {
        SettingsRig rig;
        FilePortSettings settings = rig.store();
        ASSERT_TRUE(settings.save(at(1, 1)));
        const fs::path taken = folderTaken ? rig.dir / "halden" : rig.path;
        fs::remove_all(taken);
        if (folderTaken) {
            std::ofstream(taken) << "a file where the folder should be";
        } else {
            fs::create_directories(taken / "blocker");
        }
        EXPECT_FALSE(settings.save(at(2, 2)));
        EXPECT_FALSE(settings.save(at(2, 2)));
        EXPECT_FALSE(settings.save(at(3, 2)));
        ASSERT_EQ(rig.boxes.errors.size(), 1u);
        const std::string& text = rig.boxes.errors.front();
        EXPECT_TRUE(text.starts_with("Can't save the chosen MIDI ports: Can't write file " +
                                     rig.path.string() + ": "))
            << text;
        EXPECT_EQ(text.find("registry"), std::string::npos) << text;
        fs::remove_all(taken);
        EXPECT_TRUE(settings.save(at(3, 2)));
        int in = 0, out = 0;
        ASSERT_TRUE(test::loadPositions(rig.store(), in, out));
        EXPECT_EQ(in, 3);
    }
}

}  // namespace
}  // namespace halden
