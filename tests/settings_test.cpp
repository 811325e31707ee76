#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/file_port_settings.h"
#include "port_positions.h"
#include "rig.h"
#include "temp_dir.h"

namespace halden {
namespace {

namespace fs = std::filesystem;

struct SettingsRig {
    test::TempDir temp{"halden-settings"};
    fs::path path = temp.path() / "halden" / "ports.conf";
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
        {"garbage", "\x01\x02 not a setting\n", false, -1, -1},
        {"cut off after the first value", "InputBus=3\nOutputB", false, 3, -1},
        {"not a number", "InputBus=x\nOutputBus=1\n", false, -1, -1},
        {"out of range", "InputBus=-7\nOutputBus=1\n", false, -1, -1},
        {"in any order", "OutputBus=4\nInputBus=2\n", true, 2, 4},
        {"at the size limit", "InputBus=1\nOutputBus=2\n" + std::string(64 * 1024 - 23, '#'), true,
         1, 2},
    };
    for (const auto& c : cases) {
        SettingsRig rig;
        fs::create_directories(rig.path.parent_path());
        if (c.content) std::ofstream(rig.path) << *c.content;
        int in = -1, out = -1;
        EXPECT_EQ(test::loadPositions(rig.store(), in, out), c.loads) << c.name;
        EXPECT_EQ(std::pair(in, out), std::pair(c.in, c.out)) << c.name;
        EXPECT_TRUE(rig.boxes.errors.empty()) << c.name;
    }
}

// A path that is no settings file is neither read nor replaced, and said so once.
TEST(FilePortSettings, WhatIsNoSettingsFileIsLeftAloneAndToldOnce) {
    SettingsRig rig;
    const std::string folder = (rig.temp.path() / "ports.conf").string(),
                      big = (rig.temp.path() / "big.conf").string(),
                      fifo = (rig.temp.path() / "fifo").string();
    fs::create_directories(folder);
    std::ofstream(big) << "InputBus=1\nOutputBus=2\n" << std::string(64 * 1024, '#');
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // a pipe, which would wait for ever
    const struct {
        std::string path;
        const char* why;
    } cases[] = {
        {folder, "it is a folder"},
        {big, "it is larger than a settings file can be (64 KiB)"},
        {fifo, "it is not a regular file"},
    };
    for (const auto& c : cases) {
        test::ScriptedBoxes boxes;
        // A file put in its place would change its size; a folder's or a pipe's has none.
        std::error_code ec;
        const auto before = fs::file_size(c.path, ec);
        FilePortSettings settings(c.path, boxes);
        int in = -1, out = -1;
        EXPECT_FALSE(test::loadPositions(settings, in, out)) << c.path;
        EXPECT_TRUE(settings.save({3, 4, {}, {}})) << c.path;
        EXPECT_TRUE(settings.save({5, 6, {}, {}})) << c.path;
        EXPECT_EQ(fs::file_size(c.path, ec), before) << c.path;
        EXPECT_EQ(boxes.errors,
                  std::vector<std::string>{"Can't use the settings file " + c.path + ": " + c.why +
                                           ". The chosen MIDI ports are not "
                                           "remembered this time."});
    }
}

// A store that cannot be written (here its folder's place is taken) says where and why
// once, never the registry, which this system does not have; and saves once it can:
// positions (none chosen too) and names, the same when read again. A name with a line
// break would break the file: it is not kept. Nothing is left beside the file.
TEST(FilePortSettings, AFailedWriteIsToldOnceAndTheNextKeepsTheChoice) {
    SettingsRig rig;
    FilePortSettings settings = rig.store();
    ASSERT_TRUE(settings.save({2, 0, "two\nlines", "x"}));
    EXPECT_EQ((std::ostringstream() << std::ifstream(rig.path).rdbuf()).str(),
              "InputBus=2\nOutputBus=0\nOutputBusName=x\n");
    fs::remove_all(rig.path.parent_path());
    std::ofstream(rig.path.parent_path()) << "a file where the folder should be";
    EXPECT_FALSE(settings.save({2, 2, {}, {}}));
    EXPECT_FALSE(settings.save({3, 2, {}, {}}));
    fs::remove(rig.path.parent_path());
    ASSERT_TRUE(settings.save({-1, 3, "USB MIDI 1:0", "Synth \xe2\x9c\x93"}));
    PortChoice loaded{5, 5, {}, {}};
    ASSERT_TRUE(rig.store().load(loaded));
    EXPECT_EQ(loaded, (PortChoice{-1, 3, "USB MIDI 1:0", "Synth \xe2\x9c\x93"}));
    EXPECT_FALSE(fs::exists(rig.path.string() + ".new"));
    ASSERT_EQ(rig.boxes.errors.size(), 1u);
    const std::string& told = rig.boxes.errors.front();
    EXPECT_TRUE(told.starts_with("Can't save the chosen MIDI ports: Can't write file " +
                                 rig.path.string() + ": "))
        << told;
    EXPECT_EQ(told.find("registry"), std::string::npos) << told;
}

}  // namespace
}  // namespace halden
