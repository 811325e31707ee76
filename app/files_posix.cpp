// The file calls and the user's folders on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "app/files.h"
#include "app/image_file.h"

namespace halden {

namespace fs = std::filesystem;

std::filesystem::path systemPath(const std::string& path) {
    return path;
}

size_t lastSeparator(std::string_view path) {
    return path.rfind('/');
}

std::string pathText(const fs::path& name) {
    return name.string();
}

fs::path userFolder(UserFolder which) {
    if (which == UserFolder::Runtime) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        return runtime && *runtime ? fs::path(runtime) / "halden"
                                   : fs::path("/tmp/halden-" + std::to_string(getuid()));
    }
    const bool state = which == UserFolder::State;
    fs::path base;
    if (const char* xdg = std::getenv(state ? "XDG_STATE_HOME" : "XDG_CONFIG_HOME");
        xdg && *xdg == '/') {
        base = xdg;  // one that is not absolute is ignored, as the XDG rules say
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = state ? fs::path(home) / ".local" / "state" : fs::path(home) / ".config";
    } else {
        base = ".";
    }
    return base / "halden";
}

std::FILE* openForWriting(const fs::path& name) {
    return std::fopen(name.c_str(), "wb");
}

bool flushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

// flock holds against another open file, in this process too; the kernel lets go when
// the file is closed or the process ends.
AppendFile::AppendFile(const fs::path& name)
    : fd_(::open(name.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644)) {
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}
AppendFile::~AppendFile() {
    if (fd_ >= 0) ::close(fd_);
}
long long AppendFile::size() const {
    struct stat st {};
    return fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}
bool AppendFile::lastByte(long long size, char& c) const {
    return pread(fd_, &c, 1, size - 1) == 1;
}
long long AppendFile::write(const char* data, size_t n) {
    return ::write(fd_, data, n);
}
bool AppendFile::cutTo(long long size) {
    return ftruncate(fd_, size) == 0;
}
bool AppendFile::toDisk() {
    return fsync(fd_) == 0;
}

}  // namespace halden
