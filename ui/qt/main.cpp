// halden-gui: the desktop app. With --simulate the port lists also offer the built-in
// simulated Halden ("Halden Simulator").
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QIcon>

#include "halden_version.h"
#include "ui/qt/desktop_app.h"

namespace {
constexpr int kUsageError = 64;  // EX_USAGE, as the halden command line
}

int main(int argc, char** argv) {
    // The command line is read before Qt starts, so that --help works without a
    // display. (Qt's own options, such as -platform, are set through QT_QPA_PLATFORM
    // and the like instead.)
    halden::qt::DesktopOptions options;
    CLI::App cli{
        "The Halden firmware update utility: connect to the Halden over MIDI, choose "
        "an update image (.hfi) and install it.",
        "halden-gui"};
    cli.set_version_flag("--version", "halden-gui " HALDEN_VERSION, "print the version and exit");
    cli.add_flag("--simulate", options.simulate,
                 "offer the built-in simulated Halden (\"Halden Simulator\") in both port lists");
    cli.add_option("--midi-system", options.midiSystem,
                   "MIDI system to use: alsa or jack (default: the first that opens)");
    cli.add_option("--settings", options.settingsPath,
                   "file that keeps the chosen ports (default: "
                   "$XDG_CONFIG_HOME/halden/ports.conf)");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e) == 0 ? 0 : kUsageError;
    }

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    app.setApplicationVersion(HALDEN_VERSION);
    // Ties the windows to the installed menu entry (Wayland and task bars match on it)
    // and gives them its icon; when not installed the theme has none and nothing shows.
    QGuiApplication::setDesktopFileName("com.tarnwick.Halden");
    QApplication::setWindowIcon(QIcon::fromTheme("com.tarnwick.Halden"));
    halden::qt::DesktopApp desktop(options);
    if (!desktop.start()) return 1;
    return desktop.exec();
}
