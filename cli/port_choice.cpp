#include "cli/port_choice.h"

#include <algorithm>
#include <cctype>

#include "engine/text.h"

namespace halden::cli {

Result<size_t> choosePort(const std::vector<std::string>& names, const std::string& choice,
                          const char* direction) {
    std::string error;
    if (choice.empty()) {
        error = std::string("Choose the MIDI ") + direction + " port with --" +
                (std::string(direction) == "output" ? "out" : "in") +
                " (see halden ports), or use --simulate.";
        return Failure{status::kPortFailure, error};
    }
    if (std::all_of(choice.begin(), choice.end(),
                    [](unsigned char c) { return std::isdigit(c); })) {
        const unsigned long position = choice.size() > 6 ? 0 : std::stoul(choice);
        if (position >= 1 && position <= names.size()) return position - 1;
        error = std::string("There is no MIDI ") + direction + " port " + choice + " (there are " +
                std::to_string(names.size()) + ").";
        return Failure{status::kPortFailure, error};
    }
    const std::string wanted = lowerAscii(choice);
    std::vector<size_t> matches;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = lowerAscii(names[i]);
        if (name == wanted) return i;  // a whole name wins over parts of others
        if (name.find(wanted) != std::string::npos) matches.push_back(i);
    }
    if (matches.size() == 1) return matches.front();
    if (matches.empty()) {
        error = std::string("No MIDI ") + direction + " port is called \"" + choice + "\".";
    } else {
        error = std::string("\"") + choice + "\" fits several MIDI " + direction + " ports:";
        for (size_t i : matches) error += "\n  " + std::to_string(i + 1) + ": " + names[i];
    }
    return Failure{status::kPortFailure, error};
}

}  // namespace halden::cli
