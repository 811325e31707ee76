#include "app/options.h"

#include "engine/text.h"
#include "transport/system_ports.h"

namespace halden {

std::string midiSystemList() {
    const std::vector<std::string> names = midiSystemNames();
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return list;
}

CLI::Option* addMidiSystemOption(CLI::App& app, std::string& system) {
    const std::string help =
        midiSystemNames().size() == 1
            ? "MIDI system to use: " + midiSystemList() + ", the only one in this build"
            : "MIDI system to use: " + midiSystemList() +
                  " (default: the first that opens; or set HALDEN_MIDI_SYSTEM)";
    // A name this build does not know is a wrong command line, told before any port is
    // touched: otherwise it reads as if no MIDI interface were connected.
    return app.add_option("--midi-system", system, help)
        ->type_name("NAME")
        ->check([](const std::string& given) {
            if (given.empty()) return std::string();
            std::string known;
            for (const std::string& name : midiSystemNames()) {
                if (lowerAscii(given) == name) return std::string();
                known += (known.empty() ? "" : ", ") + name;
            }
            return "\"" + given + "\" is not a MIDI system of this build (it has " + known + ")";
        });
}

CLI::Option* addHistoryOption(CLI::App& app, std::string& path) {
    return app
        .add_option("--history", path,
                    std::string("file that records every update (default: ") + kHistoryPlace + ")")
        ->type_name("FILE");
}

void describeDesktopApp(CLI::App& app, DesktopOptions& options, const std::string& version) {
    app.description(
        "The Halden firmware update utility: connect to the Halden over MIDI, choose an update "
        "image (.hfi) and install it.");
    app.name("halden-gui");
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "halden-gui " + version, "print the version and exit");
    app.add_flag("--simulate", options.simulate,
                 "offer the built-in simulated Halden (\"Halden Simulator\") in both port lists");
    addMidiSystemOption(app, options.midiSystem);
    app.add_option(
           "--settings", options.settingsPath,
           std::string("file that keeps the chosen ports (default: ") + kSettingsPlace + ")")
        ->type_name("FILE");
    addHistoryOption(app, options.historyPath);
}

std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv,
                                    const std::function<void()>& beforePrinting,
                                    std::string* reason) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (beforePrinting) beforePrinting();
        if (reason) *reason = e.what();
        // --help prints and succeeds; every other parse failure is one usage error.
        return app.exit(e) == 0 ? 0 : kUsageError;
    }
    return std::nullopt;
}

}  // namespace halden
