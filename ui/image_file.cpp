#include "ui/image_file.h"

#include <filesystem>
#include <fstream>

namespace halden {

std::filesystem::path systemPath(const std::string& path) {
    std::filesystem::path name(path);
#ifdef _WIN32
    constexpr size_t kMaxPath = 260;
    std::error_code ec;
    if (path.size() + 1 >= kMaxPath && path.rfind(R"(\\?\)", 0) != 0) {
        std::filesystem::path absolute = std::filesystem::absolute(name, ec);
        if (!ec) {
            std::wstring whole = absolute.make_preferred().wstring();
            if (whole.rfind(LR"(\\)", 0) == 0) {
                whole = LR"(\\?\UNC\)" + whole.substr(2);  // a network share
            } else {
                whole = LR"(\\?\)" + whole;
            }
            name = whole;
        }
    }
#endif
    return name;
}

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

ImageFile readImageFile(const std::string& path) {
    ImageFile result;
    // Texts are built whole, never in a fixed buffer: a long path is shown entire.
    const auto cannotOpen = [&](const std::string& why = {}) {
        result.error = "Can't open file " + path + " for reading" + why;
        return result;
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
        result.error = "Can't allocate " + std::to_string(size) + " bytes!";
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
