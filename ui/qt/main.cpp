// halden-gui: the desktop app. With --simulate the port lists also offer the built-in
// simulated Halden ("Halden Simulator").
#include <QApplication>
#include <cstring>

#include "ui/qt/desktop_app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    halden::qt::DesktopOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulate") == 0) {
            options.simulate = true;
        } else if (std::strcmp(argv[i], "--midi-system") == 0 && i + 1 < argc) {
            options.midiSystem = argv[++i];
        } else if (std::strcmp(argv[i], "--settings") == 0 && i + 1 < argc) {
            options.settingsPath = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: halden-gui [--simulate] [--midi-system alsa|jack] "
                         "[--settings FILE]\n");
            return 2;
        }
    }
    halden::qt::DesktopApp desktop(options);
    if (!desktop.start()) return 1;
    return desktop.exec();
}
