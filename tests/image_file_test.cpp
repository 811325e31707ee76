#include "app/image_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "temp_dir.h"

namespace halden {
namespace {

namespace fs = std::filesystem;

TEST(ReadImageFile, GivesAClearTextForEveryBadFile) {
    const test::TempDir temp("halden-file");
    const fs::path& dir = temp.path();
    const std::string missing = (dir / "missing.hfi").string();
    const std::string empty = (dir / "empty.hfi").string();
    const std::string huge = (dir / "huge.hfi").string();
    const std::string good = (dir / "good.hfi").string();
    std::ofstream(empty).close();
    std::ofstream(good, std::ios::binary) << std::string("\x00\x40\x40\xff", 4);
    std::ofstream(huge).close();
    fs::resize_file(huge, kMaxImageFileSize + 1);  // sparse: costs no disk
    // A path longer than 248 characters that the system takes, and one it does not (a
    // name longer than any file system allows).
    fs::path deep = dir;
    for (int i = 0; i < 6; ++i) deep /= std::string(50, char('a' + i));
    fs::create_directories(deep);
    const std::string longPath = (deep / "good.hfi").string();
    std::ofstream(longPath, std::ios::binary) << std::string("\x00\x40\x40\xff", 4);
    const std::string tooLong = (dir / (std::string(300, 'n') + ".hfi")).string();

    struct Case {
        std::string path;
        bool ok;
        std::string error;
        size_t size;
    };
    const std::vector<Case> cases = {
        {missing, false, "Can't open file " + missing + " for reading", 0},
        {dir.string(), false, "Can't open file " + dir.string() + " for reading", 0},
        {"", false, "Can't open file  for reading", 0},
        {empty, true, "", 0},
        {huge, false, "Can't allocate 67108865 bytes!", 0},
        {good, true, "", 4},
        {longPath, true, "", 4},
        {tooLong, false,
         "Can't open file " + tooLong + " for reading: the name is too long for this system", 0},
    };
    ASSERT_GT(longPath.size(), 300u);
    for (const auto& c : cases) {
        const Result<Bytes> file = readImageFile(c.path);
        ASSERT_EQ(file.ok(), c.ok) << c.path;
        if (file) {
            EXPECT_EQ(file->size(), c.size) << c.path;
        } else {
            EXPECT_EQ(file.failure().text, c.error) << c.path;
            EXPECT_EQ(file.failure().code, 1u) << c.path;  // the file's, as exit status 1
        }
    }
}

}  // namespace
}  // namespace halden
