// The connect, read-back and update procedures.
#pragma once

#include <optional>
#include <vector>

#include "engine/device.h"

namespace halden {

// The handshake (control code 2 every 3 s, up to ten times) followed by the identity
// exchange. On 0, `info` holds the Halden's identity.
[[nodiscard]] StatusCode connectDevice(EngineIo& io, DeviceInfo& info);
// The same with `attempts` handshakes, each waiting up to `tenths` for the answer: a
// short one tells quickly whether a Halden is on a pair of ports.
[[nodiscard]] StatusCode connectDevice(EngineIo& io, DeviceInfo& info, unsigned attempts,
                                       unsigned tenths);

// Reads the identity back after an update, retrying on timeouts up to `tries` times.
[[nodiscard]] StatusCode verifyAfterUpdate(EngineIo& io, DeviceInfo& info, unsigned tries);

// How far an update came, for what is said after it failed.
struct UpdateProgress {
    // An erase was sent: from then on the area may be erased and not completely written.
    bool erased = false;
    // The version the image's versioned areas all carry, when they agree.
    std::optional<Version> imageVersion;
    // The identity the handshake gave, before anything was written.
    std::optional<DeviceInfo> before;
    // The port's missed cycles when the update began (SysExSender::missedCycles).
    unsigned missedCyclesBefore = 0;
};

// The one version the image's areas carry (0x7F 0x7F carries none); none when areas
// disagree or none carries one.
std::optional<Version> imageVersion(const std::vector<Record>& records);

// Whether every versioned area of the image is older than the good firmware the Halden
// reports; then `newest` is the newest of those versions.
bool isOlderThanHalden(const std::vector<Record>& records, const DeviceInfo& info, Version& newest);

// The question asked before an older image erases anything.
std::string olderImageQuestion(Version image, const DeviceInfo& info);

// An update that was written and read back, but that the Halden did not prove.
inline bool isUnproven(StatusCode rc) {
    return rc == status::kNotGoodAfterUpdate || rc == status::kOtherVersionAfterUpdate;
}

// Whether an update that ended with `rc` is worth starting again from the handshake.
// `erased`: this update (any attempt of it) has sent an erase, so the Halden needs the
// update to complete anyway. Only what the MIDI path loses or damages on the way counts
// (no reply in time, a reply that does not read right, a block the Halden refused as it
// arrived): the Halden is left waiting for the update. Not a fault the Halden reports of
// its own, nor ours (out of memory), a port gone, a cancel, or an image that was written
// whole and read back: those would only come back.
bool worthStartingAgain(StatusCode rc, bool erased);

// Carries out a whole image: handshake, validation, records in file order, read-back.
// It counts as done only when the Halden then reports its image good and, where the
// image carries one version, that version (else kNotGoodAfterUpdate or
// kOtherVersionAfterUpdate, with `info` as read back).
[[nodiscard]] StatusCode runUpdate(EngineIo& io, ByteView image, DeviceInfo& info,
                                   UpdateProgress& done);
[[nodiscard]] StatusCode runUpdate(EngineIo& io, ByteView image, DeviceInfo& info);

// Whether every area of `records` can be written to a Halden with this identity through
// a port that carries messages of up to `maxMessage` bytes: 0, or 8 (block size 0),
// 17 (blocks too long for the port) or 18 (more blocks than 14-bit numbers count).
[[nodiscard]] StatusCode checkAreasFit(const std::vector<Record>& records, const DeviceInfo& info,
                                       size_t maxMessage);

// One delay record: count tenths of a second, with progress.
void delayWithProgress(EngineIo& io, uint8_t count);

// One area record: erase, up-to-date question, blocks, closing block.
[[nodiscard]] StatusCode programArea(EngineIo& io, uint8_t area, const Record& record,
                                     const DeviceInfo& info, UpdateProgress& state);

}  // namespace halden
