// The file calls and the user's folders app/ needs from the operating system, one file
// a platform (files_posix.cpp, files_windows.cpp).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace halden {

// The position of the last folder separator in a path as the user wrote it ('/', or
// either slash on Windows); npos for none.
size_t lastSeparator(std::string_view path);

// The path as UTF-8 text (the inverse of systemPath()).
std::string pathText(const std::filesystem::path& name);

// The folders that hold this program's own files: $XDG_STATE_HOME/halden (or
// ~/.local/state/halden), $XDG_CONFIG_HOME/halden (or ~/.config/halden), and
// $XDG_RUNTIME_DIR/halden (or /tmp/halden-UID). Windows has one for all:
// %LOCALAPPDATA%\Halden.
enum class UserFolder { State, Config, Runtime };
std::filesystem::path userFolder(UserFolder which);

// A new file, opened to write in binary.
std::FILE* openForWriting(const std::filesystem::path& name);
// Flushes to the disk, not only to the system's cache.
bool flushToDisk(std::FILE* file);

// A file opened to append to and locked against every other program that opens it so,
// until it is closed. The calls set errno when they fail.
class AppendFile {
public:
    explicit AppendFile(const std::filesystem::path& name);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    long long size() const;  // -1 when not known
    bool lastByte(long long size, char& c) const;
    long long write(const char* data, size_t n);  // at the end; how much was written
    bool cutTo(long long size);
    bool toDisk();

private:
    int fd_;
};

}  // namespace halden
