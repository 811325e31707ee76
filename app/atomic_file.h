// Writing a file whole: a crash, a full disk or a failed write leaves the old file or
// the new one, never half of one.
#pragma once

#include <string>

#include "engine/bytes.h"
#include "engine/result.h"

namespace halden {

// Whether the folders that lead to the file are made when they are missing: yes for the
// program's own places (settings), no for a path the user typed, where a typo would
// otherwise grow a new tree.
enum class MissingFolders { Make, Refuse };

// Writes `data` to a new file beside `path`, flushes it to the disk and puts it in place
// of `path`. On failure the text names the file and the system's reason (or the missing
// folder), and nothing is left beside it.
Outcome replaceFile(const std::string& path, ByteView data,
                    MissingFolders folders = MissingFolders::Make);
Outcome replaceFile(const std::string& path, const std::string& text,
                    MissingFolders folders = MissingFolders::Make);

}  // namespace halden
