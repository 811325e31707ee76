// Small text helpers every layer uses.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace halden {

// ASCII letters in lower case; other bytes (UTF-8 among them) stay as they are.
inline std::string lowerAscii(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace halden
