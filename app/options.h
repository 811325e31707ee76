// The command-line options every front end shares, defined once.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>

namespace halden {

// Exit status for a command line that is not understood (EX_USAGE).
inline constexpr int kUsageError = 64;

// For --help, each platform's own (platform_*.cpp): where the history and the chosen
// ports are kept.
extern const char* const kHistoryPlace;
extern const char* const kSettingsPlace;

// The MIDI systems of this build as a text says them: "alsa or jack".
std::string midiSystemList();
// --midi-system NAME.
CLI::Option* addMidiSystemOption(CLI::App& app, std::string& system);
// --history FILE: where updates are recorded.
CLI::Option* addHistoryOption(CLI::App& app, std::string& path);

struct DesktopOptions {
    bool simulate = false;
    std::string midiSystem;
    std::string settingsPath;  // empty: the platform's usual place
    std::string historyPath;   // the same
};

// A desktop app's command line: its description, --version, --simulate, --midi-system
// and --settings. The simulated Halden's own options are added by the caller.
void describeDesktopApp(CLI::App& app, DesktopOptions& options, const std::string& version);

// Parses; returns the exit status when the program must end now (--help, --version, a
// command line that is not understood), after printing what CLI11 prints.
// `beforePrinting` finds somewhere to print (a windowed program, its parent's console).
// `reason`, when given, receives CLI11's words for a command line not understood.
std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv,
                                    const std::function<void()>& beforePrinting = {},
                                    std::string* reason = nullptr);

}  // namespace halden
