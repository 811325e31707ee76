#pragma once

#include <string>
#include <vector>

#include "engine/result.h"

namespace halden::cli {

// Finds the port that `choice` names among `names`: a position (1 is the first port,
// as in the desktop app's lists) or a case-insensitive part of its name that fits one
// port only. Returns the index into `names`.
Result<size_t> choosePort(const std::vector<std::string>& names, const std::string& choice,
                          const char* direction);

}  // namespace halden::cli
