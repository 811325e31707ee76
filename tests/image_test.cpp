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
    struct Case {
        const char* name;
        Bytes image;
        bool fixCrc;
        StatusCode expected;
    };
    const std::vector<Case> cases = {
        {"empty", {}, false, 3},
        {"one byte", {0x00}, false, 3},
        {"three bytes", {0x00, 0x40, 0x40}, false, 3},
        {"smallest valid", {0x00, 0x40, 0x40, 0xFF}, false, 0},
        {"version before checksum", {0x01, 0x00, 0x00, 0xFF}, false, 4},
        {"checksum before walk", {0x00, 0x00, 0x00, 0x07}, false, 2},
        {"reference image",
         {0x00, 0x87, 0x5E, 0x00, 0x03, 0x00, 0x01, 0x04, 0x0A, 0x0B, 0x0C, 0xFF},
         false,
         0},
        {"delay image", {0x00, 0xEE, 0x80, 0x02, 0x14, 0xFF}, false, 0},
        {"bytes after the end marker", {0x00, 0x40, 0x3C, 0xFF, 0x10}, false, 0},
        {"... are covered by the checksum", {0x00, 0x40, 0x3C, 0xFF, 0x11}, false, 2},
        {"... and never read", {0, 0, 0, 0xFF, 0x99, 0x80}, true, 0},
        {"no end marker", {0, 0, 0, 0x01, 0x02, 0x05}, true, 3},
        {"skip as last byte", {0, 0, 0, 0x01}, true, 3},
        {"unknown type", {0, 0, 0, 0x04, 0xFF}, true, 3},
        {"type FE", {0, 0, 0, 0xFE, 0xFF}, true, 3},
        {"control code 3", {0, 0, 0, 0x03, 0x03, 0xFF}, true, 0},
        {"control code 4", {0, 0, 0, 0x03, 0x04, 0xFF}, true, 3},
        {"control as last byte", {0, 0, 0, 0x03}, true, 3},
        {"delay 255", {0, 0, 0, 0x02, 0xFF, 0xFF}, true, 0},
        {"area length zero", {0, 0, 0, 0x00, 0x00, 0x00, 0x01, 0x02, 0xFF}, true, 0},
        {"area past end", {0, 0, 0, 0x00, 0x05, 0x00, 0x01, 0x02, 0x0A, 0xFF}, true, 3},
        {"area header cut", {0, 0, 0, 0x00, 0x05, 0x00}, true, 3},
        {"area data with F7", {0, 0, 0, 0x00, 0x02, 0x00, 0x01, 0x02, 0x0A, 0xF7, 0xFF}, true, 3},
        {"area data 80", {0, 0, 0, 0x00, 0x01, 0x00, 0x01, 0x02, 0x80, 0xFF}, true, 3},
        {"area length is little-endian",
         [] {
             Bytes b{0, 0, 0, 0x00, 0x00, 0x01, 0x01, 0x02};
             b.resize(b.size() + 256, 0x11);
             b.push_back(0xFF);
             return b;
         }(),
         true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(validateImage(c.fixCrc ? withCrc(c.image) : c.image), c.expected) << c.name;
    }
}

TEST(ImageBuilder, WritesRecordsInOrderWithChecksum) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addDelay(20).ok());
    builder.addSkip();
    EXPECT_TRUE(builder.addControl(3).ok());
    EXPECT_TRUE(builder.addArea(Bytes{0x0A, 0x0B, 0x0C}, 1, 4).ok());
    const Bytes image = builder.finish();
    EXPECT_EQ(image, withCrc({0, 0, 0, 0x02, 20, 0x01, 0x03, 0x03, 0x00, 0x03, 0x00, 0x01, 0x04,
                              0x0A, 0x0B, 0x0C, 0xFF}));
    EXPECT_EQ(validateImage(image), 0u);
}

TEST(ImageBuilder, RefusesWhatAValidImageCannotHold) {
    ImageBuilder builder;
    EXPECT_FALSE(builder.addArea(Bytes{0x01, 0xF7}).ok());
    EXPECT_FALSE(builder.addArea(Bytes(65536, 0)).ok());
    EXPECT_FALSE(builder.addControl(4).ok());
    EXPECT_FALSE(builder.addDelay(256).ok());
    EXPECT_EQ(builder.finish(), (Bytes{0x00, 0x40, 0x40, 0xFF}));  // nothing was added
}

TEST(WalkRecords, ReportsEveryRecordWithItsFields) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addControl(2).ok());
    EXPECT_TRUE(builder.addArea(Bytes{1, 2, 3, 4}, 2, 7).ok());
    const Bytes image = builder.finish();
    std::vector<Record> records;
    EXPECT_EQ(parseImage(image, records), 0u);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].type, RecordType::Control);
    EXPECT_EQ(records[0].operand, 2);
    EXPECT_EQ(records[1].type, RecordType::Area);
    EXPECT_EQ(records[1].offset, 5u);
    EXPECT_EQ(records[1].version, (Version{2, 7}));
    EXPECT_EQ(Bytes(records[1].data.begin(), records[1].data.end()), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(records[1].data.data(), image.data() + 10);  // the image's own bytes
    EXPECT_EQ(records[2].type, RecordType::End);
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
