#pragma once

#include <string>

#include "engine/image.h"

namespace halden {

// Images larger than this are refused before any memory is taken for them; a valid
// image is a few hundred KiB at most.
inline constexpr long kMaxImageFileSize = 64L * 1024 * 1024;

struct ImageFile {
    bool ok = false;
    Bytes bytes;
    std::string error;  // the text to show when !ok
};

// Reads a whole image file. A missing, unreadable or non-regular file gives
// "Can't open file PATH for reading"; one too large to hold gives
// "Can't allocate SIZE bytes!".
ImageFile readImageFile(const std::string& path);

}  // namespace halden
