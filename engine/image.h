// Update image layout: a 3-byte header (format version, CRC-16/ARC low and high byte)
// followed by records executed in order, closed by an end marker.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/bytes.h"
#include "engine/result.h"
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

// The checksum the image's header holds (little-endian, bytes 1 and 2); the image has
// at least its header.
inline uint16_t storedChecksum(ByteView image) {
    return static_cast<uint16_t>(image[1] | (image[2] << 8));
}

// A firmware version as people write it, "MAJOR.MINOR" (each 0 to 127, as it travels in
// SysEx data); newer compares greater.
struct Version {
    uint8_t major = 0;
    uint8_t minor = 0;
    auto operator<=>(const Version&) const = default;
};

// One record as found by the walk. `offset` is where its type byte stands; `data` is an
// area's data, inside the image.
struct Record {
    size_t offset = 0;
    RecordType type = RecordType::End;
    uint8_t operand = 0;  // delay count or control code
    Version version;      // an area's
    ByteView data;
};

// Walks the record list from offset 3 and appends every complete record to `records`,
// the end marker included. Returns 0 when the end marker was reached, else 3 (records
// then holds those before the fault). Reads only inside `image`; checks neither header
// nor checksum.
[[nodiscard]] StatusCode walkRecords(ByteView image, std::vector<Record>& records);

// Checks size, format version, checksum, the record walk, and that no area data byte
// is 0x80 or above (such a byte would break the SysEx framing when sent). On 0,
// `records` holds the records to carry out, the end marker last. The update runs on
// these very records, so that what was checked and what is written cannot differ.
[[nodiscard]] StatusCode parseImage(ByteView image, std::vector<Record>& records);
[[nodiscard]] StatusCode validateImage(ByteView image);

Result<Version> parseVersion(const std::string& text);
std::string versionText(Version version);  // "MAJOR.MINOR"

// An area's version, when it carries one: 0x7F 0x7F carries none (never asked about).
std::optional<Version> areaVersion(const Record& area);

// Builds a valid image from records in the order they are added.
class ImageBuilder {
public:
    // Each fails with why the record was refused (status::kImageCorrupt).
    Outcome addArea(ByteView data, uint8_t versionMajor = kNeverAskVersion,
                    uint8_t versionMinor = kNeverAskVersion);
    Outcome addDelay(unsigned tenths);
    Outcome addControl(unsigned code);
    void addSkip();
    // Appends the end marker and fills in the checksum.
    Bytes finish() const;

private:
    Bytes records_;
};

}  // namespace halden
