// Port locks on Linux: a file for each port in the user's runtime folder, locked with
// flock while the port is in use. The kernel lets go when the process ends, however it
// ends; the file only says who holds it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "app/files.h"
#include "app/port_lock.h"

namespace halden {

namespace {

// $XDG_RUNTIME_DIR/halden, else a folder of this user's own in /tmp; empty when there
// is none that is safe to use.
std::string lockFolder() {
    const std::string folder = userFolder(UserFolder::Runtime).string();
    (void)mkdir(folder.c_str(), 0700);
    struct stat st {};
    // Someone else's folder in /tmp is not to be trusted with our locks.
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
        return {};
    }
    return folder;
}

class FileLock : public PortLock {
public:
    explicit FileLock(int fd) : fd_(fd) {}
    ~FileLock() override {
        if (fd_ >= 0) close(fd_);  // the file stays: removing it would race a new taker
    }

private:
    int fd_;
};

}  // namespace

unsigned long currentProcessId() {
    return static_cast<unsigned long>(getpid());
}

Result<std::unique_ptr<PortLock>> takeSystemPortLock(const std::string& lockName) {
    const std::string folder = lockFolder();
    if (folder.empty()) return std::unique_ptr<PortLock>(std::make_unique<FileLock>(-1));
    const std::string path = folder + "/" + lockName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return std::unique_ptr<PortLock>(std::make_unique<FileLock>(-1));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        std::string holder;
        if (busy) {
            char text[64] = {};
            const ssize_t n = pread(fd, text, sizeof text - 1, 0);
            const long pid = n > 0 ? std::strtol(text, nullptr, 10) : 0;
            if (pid > 0) holder = "process " + std::to_string(pid);
        }
        close(fd);
        if (busy) return Failure{status::kPortBusy, holder};
        return std::unique_ptr<PortLock>(std::make_unique<FileLock>(-1));
    }
    const std::string owner = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) == 0) (void)!pwrite(fd, owner.data(), owner.size(), 0);
    return std::unique_ptr<PortLock>(std::make_unique<FileLock>(fd));
}

}  // namespace halden
