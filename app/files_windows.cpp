// The file calls and the user's folders on Windows: UTF-8 inside, the wide calls outside.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdlib>

#include "app/files.h"
#include "app/image_file.h"
#include "app/wide_text.h"

namespace halden {

namespace fs = std::filesystem;

// A path of 260 characters or more needs the extended-length form, or it is refused.
std::filesystem::path systemPath(const std::string& path) {
    fs::path name(widen(path));  // UTF-8 inside
    constexpr size_t kMaxPath = 260;
    std::error_code ec;
    if (path.size() + 1 >= kMaxPath && path.rfind(R"(\\?\)", 0) != 0) {
        fs::path absolute = fs::absolute(name, ec);
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
    return name;
}

size_t lastSeparator(std::string_view path) {
    return path.find_last_of("/\\");
}

std::string pathText(const fs::path& name) {
    return narrow(name.wstring());
}

fs::path userFolder(UserFolder) {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    return (local && *local ? fs::path(local) : fs::path(L".")) / L"Halden";
}

std::FILE* openForWriting(const fs::path& name) {
    return _wfopen(name.c_str(), L"wb");
}

bool flushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// The C library's append seeks to the end, then writes: two programs at once would
// write over each other. A lock on the whole file holds against every other handle, in
// this process too; closing the file lets go.
AppendFile::AppendFile(const fs::path& name) : fd_(-1) {
    _wsopen_s(&fd_, name.c_str(), _O_RDWR | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
              _SH_DENYNO, _S_IREAD | _S_IWRITE);
    OVERLAPPED whole{};
    if (fd_ >= 0) {
        LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), LOCKFILE_EXCLUSIVE_LOCK, 0,
                   MAXDWORD, MAXDWORD, &whole);
    }
}
AppendFile::~AppendFile() {
    if (fd_ >= 0) _close(fd_);
}
long long AppendFile::size() const {
    return _lseeki64(fd_, 0, SEEK_END);
}
bool AppendFile::lastByte(long long size, char& c) const {
    return _lseeki64(fd_, size - 1, SEEK_SET) >= 0 && _read(fd_, &c, 1) == 1;
}
long long AppendFile::write(const char* data, size_t n) {
    return _write(fd_, data, static_cast<unsigned>(n));
}
bool AppendFile::cutTo(long long size) {
    return _chsize_s(fd_, size) == 0;
}
bool AppendFile::toDisk() {
    return _commit(fd_) == 0;
}

}  // namespace halden
