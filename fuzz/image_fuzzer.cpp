// Any bytes as an update image: the check, the record walk and `info`'s listing.
// Beyond "no crash" (and no read outside the bytes, which the sanitizer build watches):
// the walk's records lie inside the image; what the check accepts walks to its end
// marker; and packing the records that the walk found gives the same bytes again.
#include <cstdlib>

#include "app/image_listing.h"
#include "engine/image.h"
#include "fuzz/require.h"

using namespace halden;

namespace {}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteView image(data, size);
    std::vector<Record> walked;
    (void)walkRecords(image, walked);
    for (const Record& r : walked) {
        HALDEN_REQUIRE(r.offset >= kImageHeaderSize && r.offset < size);
        HALDEN_REQUIRE(r.data.empty() ||
                       (r.data.data() >= data && r.data.data() + r.data.size() <= data + size));
    }

    std::vector<Record> records;
    const StatusCode rc = parseImage(image, records);
    HALDEN_REQUIRE(rc == 0 || rc == 2 || rc == 3 || rc == 4);
    HALDEN_REQUIRE(validateImage(image) == rc);
    HALDEN_REQUIRE(!describeImage("fuzz", image).empty());
    if (rc != 0) return 0;

    HALDEN_REQUIRE(!records.empty() && records.back().type == RecordType::End);
    ImageBuilder again;
    for (const Record& r : records) {
        switch (r.type) {
            case RecordType::Area:
                HALDEN_REQUIRE(again.addArea(r.data, r.version.major, r.version.minor).ok());
                break;
            case RecordType::Delay:
                HALDEN_REQUIRE(again.addDelay(r.operand).ok());
                break;
            case RecordType::Control:
                HALDEN_REQUIRE(again.addControl(r.operand).ok());
                break;
            case RecordType::Skip:
                again.addSkip();
                break;
            case RecordType::End:
                break;
        }
    }
    const Bytes packed = again.finish();
    // The records and the end marker are the same bytes; what follows the end marker
    // (covered by the checksum, never read) is not packed again.
    const size_t end = records.back().offset + 1;
    HALDEN_REQUIRE(packed.size() == end);
    HALDEN_REQUIRE(
        std::equal(packed.begin() + kImageHeaderSize, packed.end(), data + kImageHeaderSize));
    if (end == size) HALDEN_REQUIRE(std::equal(packed.begin(), packed.end(), data));
    return 0;
}
