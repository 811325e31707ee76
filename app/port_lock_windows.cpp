// Port locks on Windows: a named mutex for each port in the session's namespace. It
// exists for as long as a process holds a handle to it, and Windows closes the handles
// of a process that ends, however it ends.
#include <windows.h>

#include "app/port_lock.h"

namespace halden {

namespace {

class MutexLock : public PortLock {
public:
    explicit MutexLock(HANDLE h) : h_(h) {}
    ~MutexLock() override {
        if (h_) CloseHandle(h_);
    }

private:
    HANDLE h_;
};

}  // namespace

unsigned long currentProcessId() {
    return GetCurrentProcessId();
}

Result<std::unique_ptr<PortLock>> takeSystemPortLock(const std::string& lockName) {
    const std::string name = "Local\\" + lockName;
    HANDLE h = CreateMutexA(nullptr, FALSE, name.c_str());
    if (h && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        return Failure{status::kPortBusy, ""};
    }
    return std::unique_ptr<PortLock>(std::make_unique<MutexLock>(h));
}

}  // namespace halden
