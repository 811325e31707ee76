// halden: the command line for scripting and service benches. The exit status is the
// operation's status code (0 for success), 1 when a file cannot be read or a MIDI port
// fails, and 64 for a command line that is not understood.
#include <CLI/CLI.hpp>

#include "app/options.h"
#include "cli/platform.h"
#include "cli/verbs.h"
#include "halden_version.h"

int main(int argc, char** argv) {
    using namespace halden::cli;
    using halden::kUsageError;
    // Output that nobody reads any more (a closed pipe) is no reason to stop an update
    // half-way: writes then just fail.
    ignoreBrokenPipes();

    CLI::App app{"Installs firmware into the Halden over MIDI System Exclusive.", "halden"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "halden " HALDEN_VERSION, "print the version and exit");
    // The same options everywhere: on Windows "/x" would otherwise be read as an option,
    // so a path written with forward slashes could not be given.
    app.allow_windows_style_options(false);
    app.footer(
        "Exit status: 0 success, 1 a file or MIDI port that fails, 2 to 21 the update's "
        "status code, 64 a command line that is not understood (man halden lists "
        "them all).");
    // A command line asking for --json gets JSON even when it is not understood.
    Terminal terminal;
    const auto usageError = [&](const std::string& reason) {
        for (int i = 1; i < argc; ++i) {
            if (std::string_view(argv[i]) != "--json") continue;
            terminal.record({static_cast<halden::StatusCode>(kUsageError),
                             "The command line is not understood: " + reason});
            terminal.printReport(kUsageError);
            break;
        }
        return kUsageError;
    };
    std::vector<std::unique_ptr<Verb>> verbs;
    verbs.push_back(makeCheckVerb(app));
    verbs.push_back(makeInfoVerb(app));
    verbs.push_back(makePackVerb(app));
    verbs.push_back(makeIdentifyVerb(app));
    verbs.push_back(makeUpdateVerb(app));
    verbs.push_back(makePortsVerb(app));
    verbs.push_back(makeScanVerb(app));
    verbs.push_back(makeSimulateVerb(app));
    verbs.push_back(makeHistoryVerb(app));
    // A word where the command belongs that names none: say so, rather than that a
    // command is required.
    if (argc > 1 && argv[1][0] != '-' &&
        app.get_subcommands([&](CLI::App* verb) { return verb->check_name(argv[1]); }).empty()) {
        std::string names;
        for (const CLI::App* verb : app.get_subcommands([](CLI::App*) { return true; })) {
            names += (names.empty() ? "" : ", ") + verb->get_name();
        }
        const std::string reason =
            "there is no command \"" + std::string(argv[1]) + "\"; the commands are " + names + ".";
        std::fprintf(stderr, "halden: %s\nRun with --help for more information.\n", reason.c_str());
        return usageError(reason);
    }
    std::string reason;
    if (const auto ended = halden::parseCommandLine(app, argc, argv, {}, &reason)) {
        return *ended == kUsageError ? usageError(reason) : *ended;
    }

    for (auto& verb : verbs) {
        if (!verb->chosen()) continue;
        terminal.setJson(verb->json());
        const int rc = verb->run(terminal);
        if (terminal.json()) terminal.printReport(rc);
        return rc;
    }
    return kUsageError;
}
