// Byte buffers as they travel between the image, the engine and the MIDI ports.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace halden {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

}  // namespace halden
