// The in-page simulator's options, read with the desktop apps' parser. CLI11 reports what
// it does not understand by throwing, so this file (and sim_options.cpp) is built with
// exceptions; nothing here waits, so no suspended call runs through their handlers.
#include <CLI/CLI.hpp>
#include <string>

#include "sim/sim_options.h"

namespace halden {

bool readSimOptions(const std::string& line, SimOptions& options, std::string& why) {
    CLI::App app;
    addSimOptions(app, options);
    try {
        app.parse(line, false);
    } catch (const CLI::ParseError& e) {
        why = e.what();
        return false;
    }
    return true;
}

}  // namespace halden
