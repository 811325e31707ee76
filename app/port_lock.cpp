#include "app/port_lock.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>

namespace halden {

// Taking the port from the system, one per platform.
Result<std::unique_ptr<PortLock>> takeSystemPortLock(const std::string& lockName);
unsigned long currentProcessId();

namespace {

std::mutex& heldMutex() {
    static std::mutex m;
    return m;
}

// The ports this process holds, with how many of its own users hold each.
struct Held {
    std::unique_ptr<PortLock> lock;
    unsigned users = 0;
    unsigned long process = 0;  // a child made by fork holds nothing of its parent's
};
std::map<std::string, Held>& held() {
    static std::map<std::string, Held> h;
    return h;
}

class SharedLock : public PortLock {
public:
    explicit SharedLock(std::string name) : name_(std::move(name)) {}
    ~SharedLock() override {
        std::lock_guard lock(heldMutex());
        auto it = held().find(name_);
        if (it != held().end() && --it->second.users == 0) held().erase(it);
    }

private:
    std::string name_;
};

}  // namespace

std::string portLockName(const std::string& system, const std::string& direction,
                         const std::string& name) {
    // FNV-1a: port names may hold any character, a file or mutex name may not.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const std::string* part : {&system, &direction, &name}) {
        for (unsigned char c : *part + '\n') hash = (hash ^ c) * 0x100000001b3ull;
    }
    char text[40];
    std::snprintf(text, sizeof text, "halden-port-%016llx", static_cast<unsigned long long>(hash));
    return text;
}

Failure portBusy(const std::string& direction, const std::string& name, const std::string& holder) {
    return {status::kPortBusy, "The MIDI " + direction + " port \"" + name +
                                   "\" is in use by another halden program" +
                                   (holder.empty() ? "" : " (" + holder + ")") +
                                   ", which may be updating the Halden there. Nothing was sent; "
                                   "try again when it has finished."};
}

Result<std::unique_ptr<PortLock>> PortLock::take(const std::string& system,
                                                 const std::string& direction,
                                                 const std::string& name) {
    const std::string lockName = portLockName(system, direction, name);
    std::lock_guard lock(heldMutex());
    Held& h = held()[lockName];
    if (h.users != 0 && h.process != currentProcessId()) {
        (void)h.lock.release();  // the parent's, not ours to close
        h = Held{};
    }
    if (h.users == 0) {
        Result<std::unique_ptr<PortLock>> taken = takeSystemPortLock(lockName);
        if (!taken) {
            held().erase(lockName);
            const Failure& f = taken.failure();
            return portBusy(direction, name, f.text);
        }
        h.lock = std::move(*taken);
        h.process = currentProcessId();
    }
    ++h.users;
    return std::unique_ptr<PortLock>(std::make_unique<SharedLock>(lockName));
}

}  // namespace halden
