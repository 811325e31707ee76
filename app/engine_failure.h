#pragma once

#include "engine/host.h"
#include "engine/result.h"
#include "engine/update.h"

namespace halden {

// The failure an engine operation's status code stands for, with the text to show: for
// a failed MIDI port the port's own words (as the receiver was told them, or as the
// port gives them when it failed while sending), else the status's message.
Failure engineFailure(const EngineIo& io, StatusCode rc);

// A failed Connect: the status's text, and after a timeout what to check.
Failure connectFailure(const EngineIo& io, StatusCode rc);

// A failed or canceled update: the status's text first, as it always reads, then the
// state the Halden is left in and what to do next. `info` is the identity as last read.
Failure updateFailure(const EngineIo& io, StatusCode rc, const DeviceInfo& info,
                      const UpdateProgress& done);

}  // namespace halden
