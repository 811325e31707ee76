#pragma once

#include <filesystem>
#include <string>

#include "engine/image.h"
#include "engine/result.h"

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

// Reads a whole image file. A missing, unreadable or non-regular file gives
// "Can't open file PATH for reading"; one too large to hold gives
// "Can't allocate SIZE bytes!". Both fail with status::kCannotOpenFile.
[[nodiscard]] Result<Bytes> readImageFile(const std::string& path);

// Reads a whole image file and validates it; a file that is not valid fails with the
// validation's status and message.
[[nodiscard]] Result<Bytes> readValidImage(const std::string& path);

}  // namespace halden
