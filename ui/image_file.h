#pragma once

#include <filesystem>
#include <string>

#include "engine/image.h"

namespace halden {

// Images larger than this are refused before any memory is taken for them; a valid
// image is a few hundred KiB at most.
inline constexpr long kMaxImageFileSize = 64L * 1024 * 1024;

// The path as the system's file calls take it whole. On Windows a path of 260
// characters or more needs the extended-length form (\\?\C:\...), or it is refused.
std::filesystem::path systemPath(const std::string& path);

// True when a part of the name is longer than file systems allow (255 characters):
// no system opens such a file, whatever it answers when asked.
bool nameTooLong(const std::string& path);

struct ImageFile {
    bool ok = false;
    Bytes bytes;
    std::string error;                // the text to show when !ok
    StatusCode status = status::kOk;  // the validation result; 0 when the file was unreadable
};

// Reads a whole image file. A missing, unreadable or non-regular file gives
// "Can't open file PATH for reading"; one too large to hold gives
// "Can't allocate SIZE bytes!".
[[nodiscard]] ImageFile readImageFile(const std::string& path);

// Reads a whole image file and validates it; on failure `error` is the file's text or
// the validation result's message.
[[nodiscard]] ImageFile readValidImage(const std::string& path);

}  // namespace halden
