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
    const auto file = [](const fs::path& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    };
    const std::string four("\x00\x40\x40\xff", 4), missing = (dir / "missing.hfi").string(),
                                                   huge = file(dir / "huge.hfi", "");
    fs::resize_file(huge, kMaxImageFileSize + 1);  // sparse: costs no disk
    // A path longer than 248 characters that the system takes, and one it does not (a
    // name longer than any file system allows).
    fs::path deep = dir;
    for (int i = 0; i < 6; ++i) deep /= std::string(50, char('a' + i));
    fs::create_directories(deep);
    const std::string longPath = file(deep / "good.hfi", four);
    const std::string tooLong = (dir / (std::string(300, 'n') + ".hfi")).string();
    ASSERT_GT(longPath.size(), 300u);
    const struct {
        std::string path, error;  // no error: read, of `size` bytes
        size_t size;
    } cases[] = {
        {missing, "Can't open file " + missing + " for reading", 0},
        {dir.string(), "Can't open file " + dir.string() + " for reading", 0},
        {"", "Can't open file  for reading", 0},
        {file(dir / "empty.hfi", ""), "", 0},
        {huge, "Can't allocate 67108865 bytes!", 0},
        {file(dir / "good.hfi", four), "", 4},
        {longPath, "", 4},
        {tooLong,
         "Can't open file " + tooLong + " for reading: the name is too long for this system", 0},
    };
    for (const auto& c : cases) {
        const Result<Bytes> read = readImageFile(c.path);
        ASSERT_EQ(read.ok(), c.error.empty()) << c.path;
        if (read) {
            EXPECT_EQ(read->size(), c.size) << c.path;
        } else {
            EXPECT_EQ(read.failure().text, c.error) << c.path;
            EXPECT_EQ(read.failure().code, 1u) << c.path;  // the file's, as exit status 1
        }
    }
}

}  // namespace
}  // namespace halden
