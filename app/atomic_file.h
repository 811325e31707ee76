// Writing a file whole: a crash, a full disk or a failed write leaves the old file or
// the new one, never half of one.
#pragma once

#include <string>

#include "engine/bytes.h"
#include "engine/result.h"

namespace halden {

// Writes `data` to a new file beside `path` (making the folders that lead to it),
// flushes it to the disk and puts it in place of `path`. On failure the text names the
// file and the system's reason, and nothing is left beside it.
Outcome replaceFile(const std::string& path, ByteView data);
Outcome replaceFile(const std::string& path, const std::string& text);

}  // namespace halden
