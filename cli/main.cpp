// halden: the command line for scripting and service benches. The exit status is the
// operation's status code (0 for success), 1 when a file cannot be read or a MIDI port
// fails.
#include <CLI/CLI.hpp>

#include "cli/verbs.h"

int main(int argc, char** argv) {
    using namespace halden::cli;
    CLI::App app{"Installs firmware into the Halden over MIDI System Exclusive.", "halden"};
    app.require_subcommand(1);
    std::vector<std::unique_ptr<Verb>> verbs;
    verbs.push_back(makeCheckVerb(app));
    verbs.push_back(makeInfoVerb(app));
    verbs.push_back(makePackVerb(app));
    verbs.push_back(makeIdentifyVerb(app));
    verbs.push_back(makeUpdateVerb(app));
    verbs.push_back(makePortsVerb(app));
    verbs.push_back(makeSimulateVerb(app));
    CLI11_PARSE(app, argc, argv);

    Terminal terminal;
    for (auto& verb : verbs) {
        if (verb->chosen()) return verb->run(terminal);
    }
    return 1;
}
