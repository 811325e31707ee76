#include "app/image_file.h"

#include <filesystem>
#include <fstream>

namespace halden {

bool nameTooLong(const std::string& path) {
    constexpr size_t kMaxName = 255;
    size_t partStart = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/' || path[i] == '\\') {
            if (i - partStart > kMaxName) return true;
            partStart = i + 1;
        }
    }
    return false;
}

Result<Bytes> readImageFile(const std::string& path) {
    // Texts are built whole, never in a fixed buffer: a long path is shown entire.
    const auto cannotOpen = [&](const std::string& why = {}) {
        return Failure{status::kCannotOpenFile, "Can't open file " + path + " for reading" + why};
    };
    if (nameTooLong(path)) return cannotOpen(": the name is too long for this system");
    const std::filesystem::path name = systemPath(path);
    std::error_code ec;
    // A directory or a device would "open" but cannot be read as an image.
    const bool regular = !path.empty() && std::filesystem::is_regular_file(name, ec);
    if (ec == std::errc::filename_too_long) {
        return cannotOpen(": the name is too long for this system");
    }
    if (!regular) return cannotOpen();
    std::ifstream in(name, std::ios::binary | std::ios::ate);
    if (!in) return cannotOpen();
    const std::streamoff size = in.tellg();
    if (size < 0) return cannotOpen();
    if (size > kMaxImageFileSize) {
        return Failure{status::kCannotOpenFile,
                       "Can't allocate " + std::to_string(size) + " bytes!"};
    }
    Bytes bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) return cannotOpen();
    return bytes;
}

Result<Bytes> readValidImage(const std::string& path) {
    Result<Bytes> file = readImageFile(path);
    if (!file) return file;
    if (const StatusCode rc = validateImage(*file); rc != status::kOk) {
        return Failure{rc, std::string(statusMessage(rc))};
    }
    return file;
}

}  // namespace halden
