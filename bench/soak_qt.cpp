// The Qt desktop app (offscreen) through 200 Connect and Update cycles on the built-in
// simulator with no link time, in one process, driven through its widgets: good updates,
// Cancel from the progress window, and a device fault in turn. Prints memory and threads.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench/soak.h"
#include "sim/simulator_ports.h"
#include "ui/qt/desktop_app.h"

using namespace halden;

namespace {

bool waitUntil(const std::function<bool()>& done, int ms = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    qapp.setQuitOnLastWindowClosed(false);
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 200;

    const auto dir = std::filesystem::temp_directory_path() / "halden-soak-qt";
    std::filesystem::create_directories(dir);
    const Bytes images[] = {soak::goodImage(), soak::pausedImage(), soak::faultyImage()};
    std::string paths[3];
    for (int k = 0; k < 3; ++k) {
        paths[k] = (dir / ("image" + std::to_string(k) + ".hfi")).string();
        std::ofstream(paths[k], std::ios::binary)
            .write(reinterpret_cast<const char*>(images[k].data()),
                   static_cast<std::streamsize>(images[k].size()));
    }
    const QString outcomes[] = {"Halden was successfully updated.", "Operation canceled",
                                "MIDI Reports chip programming fault"};

    DesktopOptions options;
    options.simulate = true;
    options.midiSystem = "none";
    options.settingsPath = (dir / "ports.conf").string();
    SimOptions sim;
    sim.baud = 0;
    sim.blockResults[soak::kFaultyBlock] = 6;
    qt::DesktopApp app(options, simulatorFactory(sim));
    if (!app.start()) return 1;
    auto& dialog = app.dialog();
    const auto widget = [&](const char* name) { return dialog.findChild<QWidget*>(name); };

    // Answers every box, and presses Cancel in the progress window once a pause begins.
    std::vector<QString> seen;
    bool cancelOnPause = false;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                seen.push_back(box->text());
                box->button(box->button(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No)
                    ->click();
            } else if (auto* progress = qobject_cast<qt::ProgressDialog*>(w)) {
                if (cancelOnPause &&
                    progress->findChild<QLabel*>("id_1012")->text() == "Delaying...") {
                    progress->findChild<QPushButton*>("id_1011")->click();
                    cancelOnPause = false;
                }
            }
        }
    });
    answerer.start(2);
    const auto idle = [&] { return waitUntil([&] { return !app.busy(); }); };

    for (const char* list : {"id_1003", "id_1004"}) {
        auto* combo = static_cast<QComboBox*>(widget(list));
        combo->setCurrentIndex(1);
        emit combo->activated(1);
    }
    idle();
    int counts[3] = {};
    soak::Usage start;
    for (int i = 0; i < cycles; ++i) {
        if (i == 3) start = soak::usage();  // after one cycle of each kind
        const int kind = i % 3;
        const size_t before = seen.size();
        static_cast<QPushButton*>(widget("id_1000"))->click();
        if (!waitUntil([&] { return seen.size() > before; }) || !idle() ||
            seen.back() != "Connection established!") {
            std::fprintf(stderr, "cycle %d: no connection\n", i);
            return 1;
        }
        // The image's name typed and the field left, so that it is checked.
        dialog.activateWindow();
        waitUntil([&] { return dialog.isActiveWindow(); });
        auto* field = static_cast<QLineEdit*>(widget("id_1005"));
        field->setFocus(Qt::TabFocusReason);
        field->setText(QString::fromStdString(paths[kind]));
        emit field->textEdited(field->text());
        widget("id_1000")->setFocus(Qt::TabFocusReason);
        idle();
        if (!widget("id_1001")->isEnabled()) {
            std::fprintf(stderr, "cycle %d: Update not enabled\n", i);
            return 1;
        }
        const size_t beforeUpdate = seen.size();
        cancelOnPause = kind == 1;
        static_cast<QPushButton*>(widget("id_1001"))->click();
        if (!waitUntil([&] { return seen.size() > beforeUpdate; }) || !idle() ||
            seen.back() != outcomes[kind]) {
            std::fprintf(
                stderr, "cycle %d: %s\n", i,
                seen.size() > beforeUpdate ? seen.back().toStdString().c_str() : "no outcome");
            return 1;
        }
        ++counts[kind];
        seen.clear();
    }
    const soak::Usage end = soak::usage();
    soak::report("desktop app", start, end, cycles, counts[0], counts[1], counts[2]);
    std::filesystem::remove_all(dir);
    return 0;
}
