#include "engine/update.h"

#include <array>
#include <chrono>

namespace halden {

namespace {
constexpr unsigned kHandshakeAttemptTenths = 30;
constexpr unsigned kHandshakeLimitTenths = 300;
constexpr size_t kHandshakeCapacity = 78;
constexpr unsigned kHandshakePolls = 30;
constexpr unsigned kReadBackTries = 10;
constexpr uint8_t kControlPauseTenths = 10;
}  // namespace

StatusCode connectDevice(EngineIo& io, DeviceInfo& info) {
    io.progress.open();
    io.progress.set(text::kConnecting, 0);
    io.cancel = false;
    io.receiver.reset();

    StatusCode rc = status::kTimeout;
    for (unsigned elapsed = 0; elapsed < kHandshakeLimitTenths;
         elapsed += kHandshakeAttemptTenths) {
        if (io.cancel) break;
        rc = sendControl(io, protocol::kHandshakeCode);
        if (rc != status::kOk) break;
        io.progress.set(text::kConnecting, static_cast<int>(elapsed * 10 / 30));
        // Any complete message with the Halden's header answers the handshake.
        std::array<uint8_t, kHandshakeCapacity> body;
        rc = io.receiver.readResponse(body.data(), body.size(), nullptr, kHandshakePolls);
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

StatusCode programArea(EngineIo& io, uint8_t area, Cursor& cursor, const DeviceInfo& info) {
    if (cursor.remaining() < kAreaHeaderSize) return status::kImageCorrupt;
    const unsigned lengthLow = cursor.take();
    const size_t length = lengthLow | (static_cast<unsigned>(cursor.take()) << 8);
    const uint8_t major = cursor.take();
    const uint8_t minor = cursor.take();

    // Asked before the erase: a No must leave the Halden's working firmware untouched.
    const bool upToDate = major == info.versionMajor && minor == info.versionMinor &&
                          info.imageStatus == 0 &&
                          !(major == kNeverAskVersion && minor == kNeverAskVersion);
    if (upToDate) {
        io.progress.close();
        if (!io.boxes.askYesNo(text::kUpToDateQuestion)) return status::kCanceled;
        io.progress.open();
    }
    if (cursor.remaining() < length) return status::kImageCorrupt;

    io.progress.set(text::kPreparingArea, 0);
    if (StatusCode rc = eraseArea(io, area)) return rc;

    const size_t total = length / info.blockSize + 1;
    uint16_t blockNumber = 0;
    size_t done = 0;
    size_t written = 0;
    StatusCode rc = status::kOk;
    while (written < length) {
        io.progress.set(text::kUpdatingArea, static_cast<int>(done * 100 / total));
        const size_t n = std::min<size_t>(info.blockSize, length - written);
        rc = writeBlock(io, blockNumber, cursor.image.subspan(cursor.pos, n));
        if (rc != status::kOk) break;
        cursor.pos += n;
        written += n;
        ++blockNumber;
        ++done;
    }
    if (rc == status::kPortFailure) return rc;
    if (io.cancel) return status::kCanceled;
    if (rc != status::kOk) return rc;
    return writeBlock(io, blockNumber, {});  // an empty block closes the area
}

StatusCode runUpdate(EngineIo& io, ByteView image, DeviceInfo& info) {
    if (StatusCode rc = connectDevice(io, info)) return rc;
    if (StatusCode rc = validateImage(image)) return rc;
    // A block size of 0 cannot carry any data; refuse before anything is erased.
    if (info.blockSize == 0) return status::kResponseUnknown;

    io.progress.open();
    io.cancel = false;
    Cursor cursor{image, kImageHeaderSize};
    StatusCode rc = status::kOk;
    bool ended = false;
    while (rc == status::kOk && !ended) {
        switch (static_cast<RecordType>(cursor.take())) {
            case RecordType::Delay:
                delayWithProgress(io, cursor.take());
                break;
            case RecordType::End:
                ended = true;
                break;
            case RecordType::Control:
                rc = sendControl(io, cursor.take());
                if (rc == status::kOk) pauseTenths(io.clock, kControlPauseTenths);
                break;
            case RecordType::Area:
                rc = programArea(io, 0, cursor, info);
                break;
            case RecordType::Skip:
                break;
        }
        if (io.cancel) break;
    }
    io.progress.close();
    if (rc == status::kPortFailure) return rc;  // fatal whatever else happened
    if (io.cancel) return status::kCanceled;
    if (rc != status::kOk) return rc;
    return verifyAfterUpdate(io, info, kReadBackTries);
}

}  // namespace halden
