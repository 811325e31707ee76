#include "app/image_listing.h"

#include <cstdio>

namespace halden {

namespace {

const char* recordName(RecordType type) {
    switch (type) {
        case RecordType::Area:
            return "area";
        case RecordType::Skip:
            return "skip";
        case RecordType::Delay:
            return "delay";
        case RecordType::Control:
            return "control";
        case RecordType::End:
            return "end";
    }
    return "?";
}

std::string details(const Record& r) {
    char text[120] = {};
    switch (r.type) {
        case RecordType::Area:
            std::snprintf(text, sizeof text, "length %zu, version %u.%u%s", r.data.size(),
                          r.version.major, r.version.minor, areaVersion(r) ? "" : " (never asks)");
            break;
        case RecordType::Delay:
            std::snprintf(text, sizeof text, "count %u (%.1f s)", r.operand, r.operand / 10.0);
            break;
        case RecordType::Control:
            std::snprintf(text, sizeof text, "code %u", r.operand);
            break;
        default:
            break;
    }
    return text;
}

}  // namespace

std::vector<std::string> describeImage(const std::string& name, ByteView image) {
    std::vector<std::string> lines{name + ": " + std::to_string(image.size()) + " bytes"};
    if (image.size() < kImageHeaderSize) return lines;
    char line[160];
    const uint16_t stored = storedChecksum(image);
    const uint16_t computed = crc16Arc(image.subspan(kImageHeaderSize));
    std::snprintf(line, sizeof line, "format version %u, checksum 0x%04X (%s 0x%04X)", image[0],
                  stored, stored == computed ? "matches" : "computed", computed);
    lines.emplace_back(line);
    lines.emplace_back("  offset  record   details");
    std::vector<Record> records;
    // A damaged list is shown up to the fault; the status line after it says what.
    (void)walkRecords(image, records);
    for (const Record& r : records) {
        std::snprintf(line, sizeof line, "%8zu  %-7s  %s", r.offset, recordName(r.type),
                      details(r).c_str());
        lines.emplace_back(line);
    }
    return lines;
}

}  // namespace halden
