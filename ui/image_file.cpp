#include "ui/image_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace halden {

ImageFile readImageFile(const std::string& path) {
    ImageFile result;
    const auto cannotOpen = [&] {
        char text[400];
        std::snprintf(text, sizeof text, "Can't open file %s for reading", path.c_str());
        result.error = text;
        return result;
    };
    std::error_code ec;
    // A directory or a device would "open" but cannot be read as an image.
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return cannotOpen();
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return cannotOpen();
    const std::streamoff size = in.tellg();
    if (size < 0) return cannotOpen();
    if (size > kMaxImageFileSize) {
        char text[64];
        std::snprintf(text, sizeof text, "Can't allocate %ld bytes!", static_cast<long>(size));
        result.error = text;
        return result;
    }
    result.bytes.resize(static_cast<size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(result.bytes.data()), size)) {
        result.bytes.clear();
        return cannotOpen();
    }
    result.ok = true;
    return result;
}

ImageFile readValidImage(const std::string& path) {
    ImageFile file = readImageFile(path);
    if (!file.ok) return file;
    file.status = validateImage(file.bytes);
    if (file.status != status::kOk) {
        file.ok = false;
        file.error = statusMessage(file.status);
    }
    return file;
}

}  // namespace halden
