#include "app/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/image_file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace halden {

namespace {

namespace fs = std::filesystem;

Failure cannotWrite(const std::string& path, const std::string& why) {
    return {status::kCannotOpenFile, "Can't write file " + path + ": " + why};
}

std::FILE* openForWriting(const fs::path& name) {
#ifdef _WIN32
    return _wfopen(name.c_str(), L"wb");
#else
    return std::fopen(name.c_str(), "wb");
#endif
}

// To the disk, not only to the system's cache: a rename that lands before the data
// would leave an empty file after a power cut.
bool flushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

}  // namespace

Outcome replaceFile(const std::string& path, ByteView data) {
    const fs::path name = systemPath(path);
    std::error_code ec;
    if (name.has_parent_path()) {
        fs::create_directories(name.parent_path(), ec);
        if (ec) return cannotWrite(path, ec.message());
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

Outcome replaceFile(const std::string& path, const std::string& text) {
    return replaceFile(path, ByteView(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace halden
