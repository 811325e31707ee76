#include "app/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/files.h"
#include "app/image_file.h"

namespace halden {

namespace {

namespace fs = std::filesystem;

Failure cannotWrite(const std::string& path, const std::string& why) {
    return {status::kCannotOpenFile, "Can't write file " + path + ": " + why};
}

// The folder as the user wrote it (not the system's long form of it).
std::string folderOf(const std::string& path) {
    const size_t cut = lastSeparator(path);
    return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

}  // namespace

Outcome replaceFile(const std::string& path, ByteView data, MissingFolders folders) {
    const fs::path name = systemPath(path);
    std::error_code ec;
    if (name.has_parent_path()) {
        const fs::path folder = name.parent_path();
        if (folders == MissingFolders::Make) {
            fs::create_directories(folder, ec);
            if (ec) return cannotWrite(path, ec.message());
        } else if (!fs::exists(folder, ec) && !ec) {
            return cannotWrite(path, "there is no folder " + folderOf(path));
        }
    }
    fs::path temp = name;
    temp += ".new";
    std::FILE* file = openForWriting(temp);
    if (!file) return cannotWrite(path, std::strerror(errno));
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    ok = ok && flushToDisk(file);
    const int savedErrno = errno;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        fs::remove(temp, ec);
        return cannotWrite(path, std::strerror(savedErrno ? savedErrno : EIO));
    }
    fs::rename(temp, name, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return cannotWrite(path, ec.message());
    }
    return {};
}

Outcome replaceFile(const std::string& path, const std::string& text, MissingFolders folders) {
    return replaceFile(path, ByteView(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                       folders);
}

}  // namespace halden
