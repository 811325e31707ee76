// One program talks to a Halden at a time: a lock for each MIDI port in use, held by
// the process (a crash lets go of it), so that another halden program sends nothing
// into an update that is running.
#pragma once

#include <memory>
#include <string>

#include "engine/result.h"

namespace halden {

class PortLock {
public:
    // Holds the port of this MIDI system, direction ("input" or "output") and name
    // until destroyed. Threads of one process share a port (a scan asks several pairs
    // at once); another process that holds it makes this fail with status::kPortBusy,
    // naming the port. Where no lock can be made at all (no folder for it), the port is
    // taken unlocked rather than refused.
    static Result<std::unique_ptr<PortLock>> take(const std::string& system,
                                                  const std::string& direction,
                                                  const std::string& name);
    virtual ~PortLock() = default;
};

// The lock's name: the same for the same port in every program of this user.
std::string portLockName(const std::string& system, const std::string& direction,
                         const std::string& name);

// The text for a port that another program holds.
Failure portBusy(const std::string& direction, const std::string& name, const std::string& holder);

}  // namespace halden
