#include "engine/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "expected_texts.h"

namespace halden {
namespace {

Bytes withCrc(Bytes image) {
    const uint16_t crc = crc16Arc(ByteView(image).subspan(3));
    image[1] = static_cast<uint8_t>(crc & 0xFF);
    image[2] = static_cast<uint8_t>(crc >> 8);
    return image;
}

// The fixed messages, as the user reads them.
TEST(StatusMessage, EveryCodeHasItsText) {
    for (const auto& [code, text] : test::expectedMessages()) {
        EXPECT_EQ(statusMessage(code), text) << code;
    }
}

// Images whose checksum is given are checked against the published CRC-16/ARC.
TEST(ValidateImage, GivesExpectedCode) {
    // The image, whether the test gives it its checksum, the outcome.
    const std::vector<std::tuple<const char*, Bytes, bool, StatusCode>> cases = {
        {"empty", {}, false, 3},
        {"three bytes", {0x00, 0x40, 0x40}, false, 3},
        {"smallest valid", {0x00, 0x40, 0x40, 0xFF}, false, 0},
        {"version before checksum", {0x01, 0x00, 0x00, 0xFF}, false, 4},
        {"checksum before walk", {0x00, 0x00, 0x00, 0x07}, false, 2},
        {"reference image",
         {0x00, 0x87, 0x5E, 0x00, 0x03, 0x00, 0x01, 0x04, 0x0A, 0x0B, 0x0C, 0xFF},
         false,
         0},
        {"bytes after the end marker", {0x00, 0x40, 0x3C, 0xFF, 0x10}, false, 0},
        {"... are covered by the checksum", {0x00, 0x40, 0x3C, 0xFF, 0x11}, false, 2},
        {"... and never read", {0, 0, 0, 0xFF, 0x99, 0x80}, true, 0},
        {"unknown type", {0, 0, 0, 0x04, 0xFF}, true, 3},
        {"control code 3", {0, 0, 0, 0x03, 0x03, 0xFF}, true, 0},
        {"control code 4", {0, 0, 0, 0x03, 0x04, 0xFF}, true, 3},
        {"delay 255", {0, 0, 0, 0x02, 0xFF, 0xFF}, true, 0},
        {"area length zero", {0, 0, 0, 0x00, 0x00, 0x00, 0x01, 0x02, 0xFF}, true, 0},
        {"area data 80", {0, 0, 0, 0x00, 0x01, 0x00, 0x01, 0x02, 0x80, 0xFF}, true, 3},
    };
    for (const auto& [name, image, fixCrc, expected] : cases) {
        EXPECT_EQ(validateImage(fixCrc ? withCrc(image) : image), expected) << name;
    }
}

// What the builder writes, and the walk's reading of it: every record with its fields. What a
// valid image cannot hold is refused and adds nothing.
TEST(ImageBuilder, WritesRecordsInOrderWithChecksumAndRefusesWhatAValidImageCannotHold) {
    ImageBuilder builder;
    EXPECT_FALSE(builder.addArea(Bytes{0x01, 0xF7}).ok());
    EXPECT_FALSE(builder.addArea(Bytes(65536, 0)).ok());
    EXPECT_FALSE(builder.addControl(4).ok());
    EXPECT_FALSE(builder.addDelay(256).ok());
    EXPECT_TRUE(builder.addDelay(20).ok());
    builder.addSkip();
    EXPECT_TRUE(builder.addControl(3).ok());
    EXPECT_TRUE(builder.addArea(Bytes{0x0A, 0x0B, 0x0C}, 2, 7).ok());
    const Bytes image = builder.finish();
    EXPECT_EQ(image, withCrc({0, 0, 0, 0x02, 20, 0x01, 0x03, 0x03, 0x00, 0x03, 0x00, 0x02, 0x07,
                              0x0A, 0x0B, 0x0C, 0xFF}));
    std::vector<Record> records;
    EXPECT_EQ(parseImage(image, records), 0u);
    std::vector<std::tuple<RecordType, int, size_t>> read;
    for (const Record& r : records) read.emplace_back(r.type, r.operand, r.offset);
    EXPECT_EQ(read, (decltype(read){{RecordType::Delay, 20, 3},
                                    {RecordType::Skip, 0, 5},
                                    {RecordType::Control, 3, 6},
                                    {RecordType::Area, 0, 8},
                                    {RecordType::End, 0, 16}}));
    EXPECT_EQ(records[3].version, (Version{2, 7}));
    EXPECT_EQ(records[3].data.data(), image.data() + 13);  // the image's own bytes
    EXPECT_EQ(records[3].data.size(), 3u);
}

// Every cut of a valid image is refused without a read outside it (the sanitizer
// build checks the reads): the walk never trusts a length it has not checked.
TEST(WalkRecords, EveryTruncationIsRefusedInsideTheBuffer) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addDelay(1).ok());
    EXPECT_TRUE(builder.addArea(Bytes(40, 0x11), 1, 2).ok());
    EXPECT_TRUE(builder.addControl(3).ok());
    const Bytes image = builder.finish();
    for (size_t size = 0; size < image.size(); ++size) {
        const auto cut = std::make_unique<uint8_t[]>(size);  // exactly `size` bytes
        std::copy_n(image.begin(), size, cut.get());
        std::vector<Record> records;
        EXPECT_EQ(walkRecords(ByteView(cut.get(), size), records), 3u) << size;
    }
}

}  // namespace
}  // namespace halden
