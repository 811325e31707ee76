// halden-gui.exe: the Windows desktop app. With --simulate the port lists also offer the
// built-in simulated Halden ("Halden Simulator").
#include <windows.h>
// windows.h first: commctrl.h needs its types.
#include <commctrl.h>

#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/sim_options.h"
#include "halden_version.h"
#include "ui/win32/dialog_app.h"

namespace {
constexpr int kUsageError = 64;  // as the halden command line

// A windowed program has no console of its own: --help and --version are written to
// the one it was started from. Output already sent to a file or a pipe stays there.
void useParentConsole() {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN) {
        if (!std::freopen("CONOUT$", "w", stdout)) return;
    }
    if (GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN) {
        if (!std::freopen("CONOUT$", "w", stderr)) return;
    }
}
}  // namespace

int main(int argc, char** argv) {
    halden::win32::DialogOptions options;
    CLI::App cli{
        "The Halden firmware update utility: connect to the Halden over MIDI, choose "
        "an update image (.hfi) and install it.",
        "halden-gui"};
    cli.allow_windows_style_options(false);
    cli.set_version_flag("--version", "halden-gui " HALDEN_VERSION, "print the version and exit");
    cli.add_flag("--simulate", options.simulate,
                 "offer the built-in simulated Halden (\"Halden Simulator\") in both port lists");
    halden::cli::addSimOptions(cli, options.sim);
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        useParentConsole();
        return cli.exit(e) == 0 ? 0 : kUsageError;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    halden::win32::DialogApp app(GetModuleHandleA(nullptr), options);
    return app.run();
}
