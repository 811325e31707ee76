#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

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
};

TEST(FilePortSettings, MissingOrDamagedFileIsAFirstRun) {
    struct Case {
        const char* name;
        std::optional<std::string> content;  // nothing: no file
        bool loads;
        int in, out;  // what the variables hold afterwards
    };
    const std::vector<Case> cases = {
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
        FilePortSettings settings(rig.path.string(), rig.boxes);
        int in = -1, out = -1;
        EXPECT_EQ(test::loadPositions(settings, in, out), c.loads) << c.name;
        EXPECT_EQ(in, c.in) << c.name;
        EXPECT_EQ(out, c.out) << c.name;
        EXPECT_TRUE(rig.boxes.errors.empty()) << c.name;
    }
}

// Where and why, once: never the registry, which this system does not have.
TEST(FilePortSettings, AStoreThatCannotBeCreatedSaysWhereAndWhy) {
    SettingsRig rig;
    std::ofstream(rig.dir / "halden") << "a file where the folder should be";
    FilePortSettings settings(rig.path.string(), rig.boxes);
    EXPECT_FALSE(settings.save(at(1, 1)));
    EXPECT_FALSE(settings.save(at(2, 1)));
    ASSERT_EQ(rig.boxes.errors.size(), 1u);
    const std::string& text = rig.boxes.errors.front();
    EXPECT_EQ(
        text.rfind("Can't save the chosen MIDI ports: Can't write file " + rig.path.string() + ": ",
                   0),
        0u)
        << text;
    EXPECT_EQ(text.find("registry"), std::string::npos) << text;
}

// A path that is no settings file is neither read nor replaced, and said so once.
TEST(FilePortSettings, WhatIsNoSettingsFileIsLeftAloneAndToldOnce) {
    const std::string valid = "InputBus=1\nOutputBus=2\n";
    struct Case {
        const char* name;
        std::function<std::string(const fs::path& dir)> make;  // gives the path
        const char* why;
        bool save = true;  // and then try to save there
    };
    const std::vector<Case> cases = {
        {"a folder",
         [](const fs::path& dir) {
             fs::create_directories(dir / "ports.conf");
             return (dir / "ports.conf").string();
         },
         "it is a folder"},
        {"larger than 64 KiB",
         [&](const fs::path& dir) {
             std::ofstream(dir / "big.conf") << valid << std::string(64 * 1024, '#');
             return (dir / "big.conf").string();
         },
         "it is larger than a settings file can be (64 KiB)"},
        {"a pipe, which would wait for ever",
         [](const fs::path& dir) {
             const std::string path = (dir / "fifo").string();
             EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
             return path;
         },
         "it is not a regular file"},
#ifdef __linux__
        // Read only: a store that wrongly wrote there would replace the device (as root).
        {"a device without end", [](const fs::path&) { return std::string("/dev/zero"); },
         "it is not a regular file", false},
#endif
    };
    const auto state = [](const std::string& path) {
        std::error_code ec;
        return std::pair(fs::status(path).type(), fs::file_size(path, ec));
    };
    for (const auto& c : cases) {
        SettingsRig rig;
        const std::string path = c.make(rig.dir);
        const auto before = state(path);
        FilePortSettings settings(path, rig.boxes);
        int in = -1, out = -1;
        EXPECT_FALSE(test::loadPositions(settings, in, out)) << c.name;
        if (c.save) {
            EXPECT_TRUE(settings.save(at(3, 4))) << c.name;
            EXPECT_TRUE(settings.save(at(5, 6))) << c.name;
            EXPECT_EQ(state(path), before) << c.name;
            EXPECT_FALSE(fs::exists(path + ".new")) << c.name;
        }
        ASSERT_EQ(rig.boxes.errors.size(), 1u) << c.name;
        EXPECT_EQ(rig.boxes.errors.front(),
                  "Can't use the settings file " + path + ": " + c.why +
                      ". The chosen MIDI ports are not remembered this time.")
            << c.name;
    }
    // At the limit it is still read.
    SettingsRig rig;
    fs::create_directories(rig.path.parent_path());
    std::ofstream(rig.path) << valid << std::string(64 * 1024 - valid.size(), '#');
    int in = -1, out = -1;
    EXPECT_TRUE(test::loadPositions(FilePortSettings(rig.path.string(), rig.boxes), in, out));
    EXPECT_EQ(out, 2);
    EXPECT_TRUE(rig.boxes.errors.empty());
}

// Positions (none chosen too) and names, the same when read again; nothing left beside.
TEST(FilePortSettings, KeepsThePositionsAndThePortsNames) {
    SettingsRig rig;
    FilePortSettings settings(rig.path.string(), rig.boxes);
    ASSERT_TRUE(settings.save({2, 3, "USB MIDI 1:0", "Synth \xe2\x9c\x93"}));
    // A name with a line break would break the file: it is not kept.
    PortChoice loaded;
    ASSERT_TRUE(FilePortSettings(rig.path.string(), rig.boxes).load(loaded));
    EXPECT_EQ(loaded, (PortChoice{2, 3, "USB MIDI 1:0", "Synth \xe2\x9c\x93"}));
    ASSERT_TRUE(settings.save({-1, 0, "two\nlines", "x"}));
    PortChoice again;
    ASSERT_TRUE(FilePortSettings(rig.path.string(), rig.boxes).load(again));
    EXPECT_EQ(again, (PortChoice{-1, 0, "", "x"}));
    EXPECT_FALSE(fs::exists(rig.path.string() + ".new"));
    EXPECT_TRUE(rig.boxes.errors.empty());
}

TEST(FilePortSettings, AFailedWriteIsToldOnce) {
    SettingsRig rig;
    FilePortSettings settings(rig.path.string(), rig.boxes);
    ASSERT_TRUE(settings.save(at(1, 1)));
    // The file's place taken by a folder: the new file cannot be put there.
    fs::remove(rig.path);
    fs::create_directories(rig.path / "blocker");
    EXPECT_FALSE(settings.save(at(2, 2)));
    EXPECT_FALSE(settings.save(at(2, 2)));
    EXPECT_FALSE(settings.save(at(3, 2)));
    ASSERT_EQ(rig.boxes.errors.size(), 1u);
    EXPECT_NE(rig.boxes.errors.front().find(rig.path.string()), std::string::npos);
    fs::remove_all(rig.path);
    EXPECT_TRUE(settings.save(at(3, 2)));
    int in = 0, out = 0;
    ASSERT_TRUE(test::loadPositions(FilePortSettings(rig.path.string(), rig.boxes), in, out));
    EXPECT_EQ(in, 3);
}

}  // namespace
}  // namespace halden
