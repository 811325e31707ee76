// Update image layout: a 3-byte header (format version, CRC-16/ARC low and high byte)
// followed by records executed in order, closed by an end marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/bytes.h"
#include "engine/status.h"

namespace halden {

enum class RecordType : uint8_t {
    Area = 0x00,
    Skip = 0x01,
    Delay = 0x02,
    Control = 0x03,
    End = 0xFF
};

inline constexpr size_t kImageHeaderSize = 3;
inline constexpr size_t kAreaHeaderSize = 4;  // length low, length high, version major, minor
inline constexpr uint8_t kNeverAskVersion = 0x7F;

uint16_t crc16Arc(ByteView bytes, uint16_t crc = 0);

// One record as found by the walk. `offset` is where its type byte stands.
struct Record {
    size_t offset = 0;
    RecordType type = RecordType::End;
    uint8_t operand = 0;  // delay count or control code
    uint16_t length = 0;  // area data length
    uint8_t versionMajor = 0;
    uint8_t versionMinor = 0;
    size_t dataOffset = 0;  // first area data byte
};

// Walks the record list from offset 3 and calls onRecord(record) for every complete
// record, the end marker included. Returns 0 when the end marker was reached, else 3.
// Reads only inside `image`; checks neither header nor checksum.
template <class OnRecord>
StatusCode walkRecords(ByteView image, OnRecord&& onRecord) {
    size_t pos = kImageHeaderSize;
    while (true) {
        if (pos >= image.size()) return status::kImageCorrupt;  // no end marker
        Record rec;
        rec.offset = pos;
        const uint8_t type = image[pos++];
        if (type == static_cast<uint8_t>(RecordType::End)) {
            rec.type = RecordType::End;
            onRecord(rec);
            return status::kOk;
        }
        if (type > static_cast<uint8_t>(RecordType::Control)) return status::kImageCorrupt;
        // Even a skip record must be followed by something: the end marker at least.
        if (pos >= image.size()) return status::kImageCorrupt;
        rec.type = static_cast<RecordType>(type);
        switch (rec.type) {
            case RecordType::Control:
                rec.operand = image[pos++];
                if (rec.operand > 3) return status::kImageCorrupt;
                break;
            case RecordType::Delay:
                rec.operand = image[pos++];
                break;
            case RecordType::Skip:
                break;
            case RecordType::Area: {
                if (image.size() - pos < kAreaHeaderSize) return status::kImageCorrupt;
                rec.length = static_cast<uint16_t>(image[pos] | (image[pos + 1] << 8));
                rec.versionMajor = image[pos + 2];
                rec.versionMinor = image[pos + 3];
                pos += kAreaHeaderSize;
                if (image.size() - pos < rec.length) return status::kImageCorrupt;
                rec.dataOffset = pos;
                pos += rec.length;
                break;
            }
            case RecordType::End:
                break;
        }
        onRecord(rec);
    }
}

// Checks size, format version, checksum, the record walk, and that no area data byte
// is 0x80 or above (such a byte would break the SysEx framing when sent).
StatusCode validateImage(ByteView image);

// Builds a valid image from records in the order they are added.
class ImageBuilder {
public:
    // Each returns an empty string on success, else why the record was refused.
    std::string addArea(ByteView data, uint8_t versionMajor = kNeverAskVersion,
                        uint8_t versionMinor = kNeverAskVersion);
    std::string addDelay(unsigned tenths);
    std::string addControl(unsigned code);
    void addSkip();
    // Appends the end marker and fills in the checksum.
    Bytes finish() const;

private:
    Bytes records_;
};

}  // namespace halden
