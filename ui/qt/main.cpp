// halden-gui: the desktop app. With --simulate the port lists also offer the built-in
// simulated Halden ("Halden Simulator").
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QIcon>

#include "app/options.h"
#include "halden_version.h"
#include "sim/sim_options.h"
#include "sim/simulator_ports.h"
#include "ui/qt/desktop_app.h"

int main(int argc, char** argv) {
    // The command line is read before Qt starts, so that --help works without a
    // display. (Qt's own options, such as -platform, are set through QT_QPA_PLATFORM
    // and the like instead.)
    halden::DesktopOptions options;
    halden::SimOptions sim;
    CLI::App cli;
    halden::describeDesktopApp(cli, options, HALDEN_VERSION);
    halden::addSimOptions(cli, sim);
    if (const auto ended = halden::parseCommandLine(cli, argc, argv)) return *ended;

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    app.setApplicationVersion(HALDEN_VERSION);
    // Ties the windows to the installed menu entry (Wayland and task bars match on it)
    // and gives them its icon; when not installed the theme has none and nothing shows.
    QGuiApplication::setDesktopFileName("com.tarnwick.Halden");
    QApplication::setWindowIcon(QIcon::fromTheme("com.tarnwick.Halden"));
    halden::qt::DesktopApp desktop(options,
                                   options.simulate ? halden::simulatorFactory(sim) : nullptr);
    if (!desktop.start()) return 1;
    return desktop.exec();
}
