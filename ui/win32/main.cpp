// halden-gui.exe: the Windows desktop app. With --simulate the port lists also offer the
// built-in simulated Halden ("Halden Simulator").
#include <windows.h>
// windows.h first: commctrl.h and shellapi.h need its types.
#include <commctrl.h>
#include <shellapi.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/wide_text.h"
#include "halden_version.h"
#include "sim/sim_options.h"
#include "sim/simulator_ports.h"
#include "ui/win32/dialog_app.h"

namespace {

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

// The arguments in UTF-8, whatever the system's old character set: a file named in
// any script reaches the app whole.
std::vector<std::string> utf8Arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; wide && i < count; ++i) args.push_back(halden::narrow(wide[i]));
    LocalFree(wide);
    return args;
}

}  // namespace

int main() {
    halden::DesktopOptions options;
    halden::SimOptions sim;
    CLI::App cli;
    halden::describeDesktopApp(cli, options, HALDEN_VERSION);
    halden::addSimOptions(cli, sim);
    const std::vector<std::string> args = utf8Arguments();
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    if (const auto ended = halden::parseCommandLine(cli, static_cast<int>(argv.size()), argv.data(),
                                                    useParentConsole)) {
        return *ended;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    halden::win32::DialogApp app(GetModuleHandleW(nullptr), options,
                                 options.simulate ? halden::simulatorFactory(sim) : nullptr);
    return app.run();
}
