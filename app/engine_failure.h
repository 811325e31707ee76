#pragma once

#include "engine/host.h"
#include "engine/result.h"

namespace halden {

// The failure an engine operation's status code stands for, with the text to show: for
// a failed MIDI port the port's own words (as the receiver was told them, or as the
// port gives them when it failed while sending), else the status's message.
Failure engineFailure(const EngineIo& io, StatusCode rc);

}  // namespace halden
