// The connect, read-back and update procedures.
#pragma once

#include "engine/device.h"

namespace halden {

// The handshake (control code 2 every 3 s, up to ten times) followed by the identity
// exchange. On 0, `info` holds the Halden's identity.
StatusCode connectDevice(EngineIo& io, DeviceInfo& info);

// Reads the identity back after an update, retrying on timeouts up to `tries` times.
StatusCode verifyAfterUpdate(EngineIo& io, DeviceInfo& info, unsigned tries);

// Carries out a whole image: handshake, validation, records in file order, read-back.
StatusCode runUpdate(EngineIo& io, ByteView image, DeviceInfo& info);

// One delay record: count tenths of a second, with progress.
void delayWithProgress(EngineIo& io, uint8_t count);

// The image read position and the bytes that remain from it; both advance together.
struct Cursor {
    ByteView image;
    size_t pos = 0;
    size_t remaining() const { return image.size() - pos; }
    uint8_t take() { return image[pos++]; }
};

// One area record. `cursor` arrives after the type byte and is left after the data.
StatusCode programArea(EngineIo& io, uint8_t area, Cursor& cursor, const DeviceInfo& info);

}  // namespace halden
