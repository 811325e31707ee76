#include "engine/update.h"

#include <algorithm>
#include <array>

#include "engine/estimate.h"

namespace halden {

namespace {
// Ten handshakes, each waiting 3 s (30 tenths) for the answer.
constexpr unsigned kHandshakeAttempts = 10;
constexpr size_t kHandshakeCapacity = 78;
constexpr unsigned kHandshakePolls = 30;
constexpr unsigned kReadBackTries = 10;
}  // namespace

StatusCode connectDevice(EngineIo& io, DeviceInfo& info) {
    return connectDevice(io, info, kHandshakeAttempts, kHandshakePolls);
}

StatusCode connectDevice(EngineIo& io, DeviceInfo& info, unsigned attempts, unsigned tenths) {
    io.progress.open();
    io.progress.set(text::kConnecting, 0);
    io.cancel = false;
    io.receiver.reset();

    StatusCode rc = status::kTimeout;
    for (unsigned attempt = 0; attempt < attempts; ++attempt) {
        if (io.cancel) break;
        rc = sendControl(io, protocol::kHandshakeCode);
        if (rc != status::kOk) break;
        io.progress.set(text::kConnecting, static_cast<int>(attempt * 100 / attempts));
        // Any complete message with the Halden's header answers the handshake.
        std::array<uint8_t, kHandshakeCapacity> body;
        rc = io.receiver.readResponse(body.data(), body.size(), nullptr, tenths);
        if (rc != status::kTimeout) break;
    }
    if (io.cancel && rc != status::kPortFailure) {
        io.progress.close();
        return status::kCanceled;
    }
    if (rc == status::kOk) rc = readIdentity(io, info);
    io.progress.close();
    return rc;
}

StatusCode verifyAfterUpdate(EngineIo& io, DeviceInfo& info, unsigned tries) {
    io.progress.open();
    io.progress.set(text::kReadingVersion, 0);
    StatusCode rc = status::kOk;
    for (unsigned k = 1; k <= tries; ++k) {
        io.progress.set(text::kReadingVersion, static_cast<int>(k * 100 / tries));
        rc = readIdentity(io, info);
        if (rc != status::kTimeout) break;
    }
    io.progress.close();
    return rc;
}

void delayWithProgress(EngineIo& io, uint8_t count) {
    io.progress.set(text::kDelaying, 0);
    for (unsigned i = 0; i != count && !io.cancel; ++i) {
        io.progress.set(text::kDelaying, static_cast<int>(i * 100 / count));
        pauseTenths(io.clock, 1);
    }
    io.progress.set(text::kDelaying, 100);
}

StatusCode checkAreasFit(const std::vector<Record>& records, const DeviceInfo& info,
                         size_t maxMessage) {
    for (const Record& rec : records) {
        if (rec.type != RecordType::Area) continue;
        // A block size of 0 cannot carry any data.
        if (info.blockSize == 0) return status::kResponseUnknown;
        const size_t longest = std::min<size_t>(info.blockSize, rec.data.size());
        if (longest + protocol::kBlockWriteOverhead > maxMessage) {
            return status::kBlocksTooLongForPort;
        }
        // The data blocks and the closing empty block are numbered from 0.
        const size_t blocks = (rec.data.size() + info.blockSize - 1) / info.blockSize + 1;
        if (blocks > protocol::kMax14Bit + 1) return status::kTooManyBlocks;
    }
    return status::kOk;
}

StatusCode programArea(EngineIo& io, uint8_t area, const Record& record, const DeviceInfo& info,
                       UpdateProgress& state) {
    const ByteView data = record.data;
    // Asked before the erase: a No must leave the Halden's working firmware untouched.
    const bool upToDate = record.version == info.version() && info.imageStatus == 0 &&
                          areaVersion(record).has_value();
    if (upToDate) {
        io.progress.close();
        if (!io.boxes.askYesNo(text::kUpToDateQuestion)) return status::kCanceled;
        io.progress.open();
    }

    io.progress.set(text::kPreparingArea, 0);
    state.erased = true;  // even unanswered, the request may have erased it
    if (StatusCode rc = eraseArea(io, area)) return rc;

    const size_t total = data.size() / info.blockSize + 1;
    uint16_t blockNumber = 0;
    size_t done = 0;
    size_t written = 0;
    StatusCode rc = status::kOk;
    while (written < data.size()) {
        io.progress.set(text::kUpdatingArea, static_cast<int>(done * 100 / total));
        const size_t n = std::min<size_t>(info.blockSize, data.size() - written);
        rc = writeBlock(io, blockNumber, data.subspan(written, n));
        if (rc != status::kOk) break;
        written += n;
        ++blockNumber;
        ++done;
    }
    if (rc == status::kPortFailure) return rc;
    if (io.cancel) return status::kCanceled;
    if (rc != status::kOk) return rc;
    return writeBlock(io, blockNumber, {});  // an empty block closes the area
}

std::optional<Version> imageVersion(const std::vector<Record>& records) {
    std::optional<Version> found;
    for (const Record& rec : records) {
        if (rec.type != RecordType::Area) continue;
        const std::optional<Version> v = areaVersion(rec);
        if (!v) continue;
        if (found && *found != *v) return std::nullopt;
        found = v;
    }
    return found;
}

bool isOlderThanHalden(const std::vector<Record>& records, const DeviceInfo& info,
                       Version& newest) {
    if (info.imageStatus != 0) return false;  // no good firmware to go back from
    bool any = false;
    for (const Record& rec : records) {
        if (rec.type != RecordType::Area) continue;
        const std::optional<Version> found = areaVersion(rec);
        if (!found) continue;
        const Version v = *found;
        if (v >= info.version()) return false;
        if (!any || v > newest) newest = v;
        any = true;
    }
    return any;
}

std::string olderImageQuestion(Version image, const DeviceInfo& info) {
    return "The Halden runs version " + versionText(info.version()) +
           ", and this image holds the older version " + versionText(image) +
           ". Updating replaces the newer firmware with the older one. Update anyway?";
}

bool worthStartingAgain(StatusCode rc, bool erased) {
    if (!erased) return false;  // nothing changed: the failure is told as it is
    switch (rc) {
        case status::kResponseTooLong:
        case status::kTimeout:
        case status::kResponseUnknown:
        case status::kBadChecksum:
        case status::kBadLength:
        case status::kBadCheckcode:  // a block number out of turn: one went missing
            return true;
        default:
            return false;
    }
}

StatusCode runUpdate(EngineIo& io, ByteView image, DeviceInfo& info) {
    UpdateProgress done;
    return runUpdate(io, image, info, done);
}

StatusCode runUpdate(EngineIo& io, ByteView image, DeviceInfo& info, UpdateProgress& done) {
    done = UpdateProgress{};
    done.missedCyclesBefore = io.port.missedCycles();
    if (StatusCode rc = connectDevice(io, info)) return rc;
    done.before = info;
    std::vector<Record> records;
    if (StatusCode rc = parseImage(image, records)) return rc;
    done.imageVersion = imageVersion(records);
    // What the identity and the port allow is known now: refuse before any record runs,
    // so that nothing is erased that cannot be written again.
    if (StatusCode rc = checkAreasFit(records, info, io.port.maxMessageSize())) return rc;
    // Going back to older firmware is asked once, before any record runs.
    if (Version newest; isOlderThanHalden(records, info, newest) &&
                        !io.boxes.askOlderImage(olderImageQuestion(newest, info))) {
        return status::kCanceled;
    }

    io.progress.planned(planUpdate(records, info));
    io.progress.open();
    io.cancel = false;
    StatusCode rc = status::kOk;
    for (const Record& rec : records) {
        switch (rec.type) {
            case RecordType::Delay:
                delayWithProgress(io, rec.operand);
                break;
            case RecordType::End:
            case RecordType::Skip:
                break;
            case RecordType::Control:
                rc = sendControl(io, rec.operand);
                if (rc == status::kOk) pauseTenths(io.clock, kControlPauseTenths);
                break;
            case RecordType::Area:
                rc = programArea(io, 0, rec, info, done);
                break;
        }
        if (rc != status::kOk || io.cancel) break;
    }
    io.progress.close();
    if (rc == status::kPortFailure) return rc;  // fatal whatever else happened
    if (io.cancel) return status::kCanceled;
    if (rc != status::kOk) return rc;
    if (StatusCode read = verifyAfterUpdate(io, info, kReadBackTries)) return read;
    // The read-back identity is the Halden's word; only it proves the update.
    if (info.imageStatus != 0) return status::kNotGoodAfterUpdate;
    const auto& v = done.imageVersion;
    if (v && *v != info.version()) {
        return status::kOtherVersionAfterUpdate;
    }
    return status::kOk;
}

}  // namespace halden
