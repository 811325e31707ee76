#include "app/engine_failure.h"

namespace halden {

Failure engineFailure(const EngineIo& io, StatusCode rc) {
    if (rc != status::kPortFailure) return {rc, std::string(statusMessage(rc))};
    return {rc, io.receiver.portFailed() ? io.receiver.portFailure() : io.port.failureText()};
}

}  // namespace halden
