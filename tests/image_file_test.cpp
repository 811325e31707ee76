// Reading an image file where the path is at the system's limits. The files that cannot be
// read (missing, a folder, too large) and the empty one are the web module's test to check,
// through this same reader.
#include "app/image_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "temp_dir.h"

namespace halden {
namespace {

namespace fs = std::filesystem;

TEST(ReadImageFile, PathsAtTheSystemsLimits) {
    const test::TempDir temp("halden-file");
    // A path longer than 248 characters that the system takes, and one it does not (a
    // name longer than any file system allows).
    fs::path deep = temp.path();
    for (int i = 0; i < 6; ++i) deep /= std::string(50, char('a' + i));
    fs::create_directories(deep);
    std::ofstream(deep / "good.hfi", std::ios::binary) << std::string("\x00\x40\x40\xff", 4);
    const std::string longPath = (deep / "good.hfi").string();
    ASSERT_GT(longPath.size(), 300u);
    const Result<Bytes> read = readImageFile(longPath);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read->size(), 4u);
    const std::string tooLong = (temp.path() / (std::string(300, 'n') + ".hfi")).string();
    EXPECT_EQ(readImageFile(tooLong).failure().text,
              "Can't open file " + tooLong + " for reading: the name is too long for this system");
    EXPECT_EQ(readImageFile("").failure().text, "Can't open file  for reading");
}

}  // namespace
}  // namespace halden
