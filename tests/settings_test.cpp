#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "rig.h"
#include "temp_dir.h"
#include "ui/file_port_settings.h"

namespace halden {
namespace {

namespace fs = std::filesystem;

struct SettingsRig {
    test::TempDir temp{"halden-settings"};
    fs::path dir = temp.path();
    fs::path path = dir / "halden" / "ports.conf";
    test::ScriptedBoxes boxes;
};

TEST(FilePortSettings, RoundTrip) {
    SettingsRig rig;
    FilePortSettings settings(rig.path.string(), rig.boxes);
    ASSERT_TRUE(settings.save(1, 2));
    FilePortSettings again(rig.path.string(), rig.boxes);
    int in = -1, out = -1;
    ASSERT_TRUE(again.load(in, out));
    EXPECT_EQ(in, 1);
    EXPECT_EQ(out, 2);
    EXPECT_TRUE(again.save(-1, 0));
    ASSERT_TRUE(FilePortSettings(rig.path.string(), rig.boxes).load(in, out));
    EXPECT_EQ(in, -1);
    EXPECT_EQ(out, 0);
    EXPECT_FALSE(fs::exists(rig.path.string() + ".new"));
    EXPECT_TRUE(rig.boxes.errors.empty());
}

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
        EXPECT_EQ(settings.load(in, out), c.loads) << c.name;
        EXPECT_EQ(in, c.in) << c.name;
        EXPECT_EQ(out, c.out) << c.name;
        EXPECT_TRUE(rig.boxes.errors.empty()) << c.name;
    }
}

TEST(FilePortSettings, AStoreThatCannotBeCreatedFailsQuietly) {
    SettingsRig rig;
    std::ofstream(rig.dir / "halden") << "a file where the folder should be";
    FilePortSettings settings(rig.path.string(), rig.boxes);
    EXPECT_FALSE(settings.save(1, 1));
    EXPECT_TRUE(rig.boxes.errors.empty());
}

TEST(FilePortSettings, AFailedWriteIsToldOnce) {
    SettingsRig rig;
    FilePortSettings settings(rig.path.string(), rig.boxes);
    ASSERT_TRUE(settings.save(1, 1));
    // The file's place taken by a folder: the new file cannot be put there.
    fs::remove(rig.path);
    fs::create_directories(rig.path / "blocker");
    EXPECT_FALSE(settings.save(2, 2));
    EXPECT_FALSE(settings.save(2, 2));
    EXPECT_FALSE(settings.save(3, 2));
    EXPECT_EQ(rig.boxes.errors,
              std::vector<std::string>{"Unable to set the Input Bus info to the registry."});
    fs::remove_all(rig.path);
    EXPECT_TRUE(settings.save(3, 2));
    int in = 0, out = 0;
    ASSERT_TRUE(FilePortSettings(rig.path.string(), rig.boxes).load(in, out));
    EXPECT_EQ(in, 3);
}

TEST(FilePortSettings, DefaultPathFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(FilePortSettings::defaultPath(), "/somewhere/config/halden/ports.conf");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_NE(FilePortSettings::defaultPath().find("/.config/halden/ports.conf"),
              std::string::npos);
    if (old) {
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace halden
