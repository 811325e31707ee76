// The program-wide cancel flag: set by the user's Cancel (or Ctrl-C), cleared by the
// procedures as they start, read at every wait.
#pragma once

#include <atomic>

namespace halden {

using CancelFlag = std::atomic<bool>;

}  // namespace halden
