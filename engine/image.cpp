#include "engine/image.h"

#include <array>

namespace halden {

namespace {

constexpr std::array<uint16_t, 256> makeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr auto kCrcTable = makeCrcTable();

}  // namespace

uint16_t crc16Arc(ByteView bytes, uint16_t crc) {
    for (uint8_t b : bytes) crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ b) & 0xFF]);
    return crc;
}

StatusCode walkRecords(ByteView image, std::vector<Record>& records) {
    // `rest` is what remains of the image from the read position: every read takes
    // from it and is checked against its size first.
    ByteView rest = image.size() > kImageHeaderSize ? image.subspan(kImageHeaderSize) : ByteView();
    const auto take = [&rest] {
        const uint8_t b = rest.front();
        rest = rest.subspan(1);
        return b;
    };
    while (true) {
        if (rest.empty()) return status::kImageCorrupt;  // no end marker
        Record rec;
        rec.offset = image.size() - rest.size();
        const uint8_t type = take();
        if (type == static_cast<uint8_t>(RecordType::End)) {
            rec.type = RecordType::End;
            records.push_back(rec);
            return status::kOk;
        }
        if (type > static_cast<uint8_t>(RecordType::Control)) return status::kImageCorrupt;
        // Even a skip record must be followed by something: the end marker at least.
        if (rest.empty()) return status::kImageCorrupt;
        rec.type = static_cast<RecordType>(type);
        switch (rec.type) {
            case RecordType::Control:
                rec.operand = take();
                if (rec.operand > 3) return status::kImageCorrupt;
                break;
            case RecordType::Delay:
                rec.operand = take();
                break;
            case RecordType::Skip:
            case RecordType::End:
                break;
            case RecordType::Area: {
                if (rest.size() < kAreaHeaderSize) return status::kImageCorrupt;
                const size_t length = rest[0] | (rest[1] << 8);
                rec.version = {rest[2], rest[3]};
                rest = rest.subspan(kAreaHeaderSize);
                if (rest.size() < length) return status::kImageCorrupt;
                rec.data = rest.first(length);
                rest = rest.subspan(length);
                break;
            }
        }
        records.push_back(rec);
    }
}

StatusCode parseImage(ByteView image, std::vector<Record>& records) {
    records.clear();
    if (image.size() < 4) return status::kImageCorrupt;
    if (image[0] != 0) return status::kUnknownVersion;
    const uint16_t stored = storedChecksum(image);
    if (crc16Arc(image.subspan(kImageHeaderSize)) != stored) return status::kCrcError;
    if (StatusCode rc = walkRecords(image, records)) return rc;
    for (const Record& rec : records) {
        for (uint8_t b : rec.data) {
            if (b >= 0x80) return status::kImageCorrupt;
        }
    }
    return status::kOk;
}

StatusCode validateImage(ByteView image) {
    std::vector<Record> records;
    return parseImage(image, records);
}

namespace {
Failure refused(std::string why) {
    return {status::kImageCorrupt, std::move(why)};
}
}  // namespace

std::string versionText(Version version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

std::optional<Version> areaVersion(const Record& area) {
    if (area.version == Version{kNeverAskVersion, kNeverAskVersion}) {
        return std::nullopt;
    }
    return area.version;
}

Result<Version> parseVersion(const std::string& text) {
    const auto number = [](const std::string& digits, uint8_t& value) {
        if (digits.empty() || digits.size() > 3) return false;
        unsigned v = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        value = static_cast<uint8_t>(v);
        return v <= 127;
    };
    const size_t dot = text.find('.');
    Version version;
    if (dot == std::string::npos || !number(text.substr(0, dot), version.major) ||
        !number(text.substr(dot + 1), version.minor)) {
        return refused("a version is MAJOR.MINOR, each 0 to 127: \"" + text + "\"");
    }
    return version;
}

Outcome ImageBuilder::addArea(ByteView data, uint8_t versionMajor, uint8_t versionMinor) {
    if (data.size() > 0xFFFF) return refused("area data is longer than 65535 bytes");
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] >= 0x80) {
            return refused("area data byte " + std::to_string(i) + " is 0x80 or above");
        }
    }
    records_.push_back(static_cast<uint8_t>(RecordType::Area));
    records_.push_back(static_cast<uint8_t>(data.size() & 0xFF));
    records_.push_back(static_cast<uint8_t>(data.size() >> 8));
    records_.push_back(versionMajor);
    records_.push_back(versionMinor);
    records_.insert(records_.end(), data.begin(), data.end());
    return {};
}

Outcome ImageBuilder::addDelay(unsigned tenths) {
    if (tenths > 255) return refused("delay count must be 0 to 255");
    records_.push_back(static_cast<uint8_t>(RecordType::Delay));
    records_.push_back(static_cast<uint8_t>(tenths));
    return {};
}

Outcome ImageBuilder::addControl(unsigned code) {
    if (code > 3) return refused("control code must be 0 to 3");
    records_.push_back(static_cast<uint8_t>(RecordType::Control));
    records_.push_back(static_cast<uint8_t>(code));
    return {};
}

void ImageBuilder::addSkip() {
    records_.push_back(static_cast<uint8_t>(RecordType::Skip));
}

Bytes ImageBuilder::finish() const {
    Bytes image{0, 0, 0};
    image.insert(image.end(), records_.begin(), records_.end());
    image.push_back(static_cast<uint8_t>(RecordType::End));
    const uint16_t crc = crc16Arc(ByteView(image).subspan(kImageHeaderSize));
    image[1] = static_cast<uint8_t>(crc & 0xFF);
    image[2] = static_cast<uint8_t>(crc >> 8);
    return image;
}

}  // namespace halden
