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

// Random and mutated images never make validation read outside the image (the
// sanitizer build checks), and whatever it accepts walks to an end marker.
TEST(ValidateImageRobustness, RandomAndMutatedImages) {
    uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    ImageBuilder builder;
    EXPECT_TRUE(builder.addDelay(3).ok());
    EXPECT_TRUE(builder.addArea(Bytes{1, 2, 3, 4, 5}, 1, 2).ok());
    EXPECT_TRUE(builder.addControl(2).ok());
    const Bytes base = builder.finish();
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes image;
        if (round % 2 == 0) {
            image.resize(next() % 40);
            for (auto& b : image) b = static_cast<uint8_t>(next());
        } else {
            image = base;
            image[3 + next() % (image.size() - 3)] = static_cast<uint8_t>(next());
            if (next() % 3 == 0) image.resize(next() % image.size());
        }
        // Fix the checksum half of the time so that the record walk is exercised too.
        if (image.size() >= 3 && next() % 2 == 0) {
            const uint16_t crc = crc16Arc(ByteView(image).subspan(3));
            image[0] = 0;
            image[1] = static_cast<uint8_t>(crc & 0xFF);
            image[2] = static_cast<uint8_t>(crc >> 8);
        }
        std::vector<Record> records;
        const StatusCode rc = parseImage(image, records);
        ASSERT_TRUE(rc == status::kOk || rc == status::kCrcError || rc == status::kImageCorrupt ||
                    rc == status::kUnknownVersion)
            << rc;
        if (rc == 0) {
            ++accepted;
            ASSERT_FALSE(records.empty());
            EXPECT_EQ(records.back().type, RecordType::End);
        }
    }
    EXPECT_GT(accepted, 100);
}

}  // namespace
}  // namespace halden
