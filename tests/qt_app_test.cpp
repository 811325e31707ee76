// The Qt front end through its real widgets, on the offscreen platform: what the
// outcomes are is the main window's logic's to prove (main_window_test.cpp).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <QtWidgets>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/history.h"
#include "expected_texts.h"
#include "rig.h"
#include "sim/simulator_ports.h"
#include "temp_dir.h"
#include "ui/qt/desktop_app.h"

namespace halden::qt {
namespace {

namespace fs = std::filesystem;
const QString kTitle = "Halden Firmware Update Utility", kErrorTitle = kTitle + " Error";
const QString kConnected = "Connection established!", kUpdated = "Halden was successfully updated.";

bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// The visible top-level window of this kind, if any.
template <class W>
W* shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<W*>(w); found && found->isVisible()) return found;
    return nullptr;
}

// Answers every message box as it appears (No to a question) and notes what it showed.
struct BoxAnswerer {
    struct Seen {
        QString title, text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton byDefault;
        bool owned;
    };
    BoxAnswerer() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = shown<QMessageBox>();
            if (!box) return;
            seen.push_back({box->windowTitle(), box->text(), box->standardButtons(),
                            box->standardButton(box->defaultButton()),
                            box->parentWidget() != nullptr});
            box->button(box->button(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok)->click();
        });
        timer.start(5);
    }
    size_t count(const QString& text) const {
        return static_cast<size_t>(std::ranges::count(seen, text, &Seen::text));
    }
    QTimer timer;
    std::vector<Seen> seen;
};

struct AppRig {
    void start() {
        app = std::make_unique<DesktopApp>(options, simulatorFactory(sim));
        ASSERT_TRUE(app->start());
        activate();
    }
    // Focus moves only inside the active window; a message box takes that away.
    void activate() {
        app->dialog().activateWindow();
        ASSERT_TRUE(waitUntil([this] { return app->dialog().isActiveWindow(); }));
    }
    template <class W = QPushButton>
    W* widget(const char* name) {
        return app->dialog().findChild<W*>(name);
    }
    void click(const char* name) { widget(name)->click(); }
    bool idle() {
        // The command has ended, and the window has taken input back (posted to it as
        // the command ends, so it may still be on its way when the worker is idle).
        return waitUntil([this] { return !app->busy() && !app->dialog().isBusy(); });
    }
    // Until the n-th box with this text has been answered and the command has ended.
    bool waitFor(const QString& text, size_t n = 1) {
        return waitUntil([&] { return boxes.count(text) >= n; }) && idle();
    }
    std::string writeImage(const char* name, const Bytes& image) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << std::string(image.begin(), image.end());
        return path;
    }
    // Typing into the file name field.
    void typeFile(const std::string& path) {
        activate();
        auto* field = widget<QLineEdit>("id_1005");
        field->setFocus(Qt::TabFocusReason);
        field->setText(QString::fromStdString(path));
        emit field->textEdited(field->text());
    }
    // "Halden Simulator" in both lists (Connect is enabled once they are read), and Connect.
    void connectToSimulator() {
        for (auto* list : {widget<QComboBox>("id_1003"), widget<QComboBox>("id_1004")}) {
            list->setCurrentIndex(1);
            emit list->activated(1);
        }
        ASSERT_TRUE(idle());
        click("id_1000");
        ASSERT_TRUE(waitFor(kConnected));
    }
    // Types an image's name and leaves the field, so that it is checked.
    void nameImage(const std::string& path) {
        typeFile(path);
        widget("id_1000")->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(idle());
        ASSERT_TRUE(widget("id_1001")->isEnabled());
    }

    test::TempDir temp{"halden-qt"};
    fs::path dir = temp.path();
    DesktopOptions options{.simulate = true,
                           .midiSystem = "none",  // only the simulator, whatever this machine has
                           .settingsPath = (dir / "ports.conf").string(),
                           .historyPath = (dir / "history.log").string()};
    SimOptions sim;
    std::unique_ptr<DesktopApp> app;
    BoxAnswerer boxes;
};

// Ports restored from the last run (the input by its name): Connect is ready as the
// window appears. A mouse click, Alt+letter (as on Linux desktops; it types nothing into
// the list that has the focus), Enter on the button that has the focus, Enter in the
// field (the default button, Update) and Enter on Exit each reach their command. A
// list's text that names no entry is no selection: Connect is disabled, -1 stored.
TEST(QtApp, TheControlsAndTheKeys) {
    AppRig rig;
    std::ofstream(rig.options.settingsPath)
        << "InputBus=7\nOutputBus=1\nInputBusName=Halden Simulator\n";
    rig.start();
    ASSERT_TRUE(rig.idle());
    auto* transmit = rig.widget<QComboBox>("id_1003");
    auto* field = rig.widget<QLineEdit>("id_1005");
    EXPECT_EQ(transmit->currentIndex(), 1);
    EXPECT_EQ(rig.widget<QComboBox>("id_1004")->currentIndex(), 1);
    auto* connect = rig.widget("id_1000");
    ASSERT_TRUE(connect->isEnabled());
    // A real click while a list has the focus: the press moves the focus (a command of
    // its own), the release still makes the click.
    transmit->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(connect, Qt::LeftButton);
    ASSERT_TRUE(rig.waitFor(kConnected));
    for (Qt::Key key : {Qt::Key_C, Qt::Key_I}) {
        rig.activate();
        transmit->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
        ASSERT_TRUE(rig.waitFor(kConnected, 2));
    }
    EXPECT_EQ(transmit->currentText(), "Halden Simulator");
    EXPECT_EQ(QApplication::focusWidget(), field);
    EXPECT_EQ(field->text(), "");

    rig.nameImage(rig.writeImage("old.hfi", test::imageWithArea(test::ascending(100, 5))));
    QTest::keyClick(connect, Qt::Key_Return);  // the focus is on Connect
    ASSERT_TRUE(rig.waitFor(kConnected, 3));
    EXPECT_EQ(rig.boxes.count(kUpdated), 0u);
    rig.typeFile(rig.writeImage("v2.3.hfi", test::imageWithArea(test::ascending(600, 2))));
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(rig.waitFor(kUpdated));
    EXPECT_EQ(rig.widget<QLabel>("id_1010")->text(), "2.3");
    for (const auto& s : rig.boxes.seen) EXPECT_TRUE(s.owned) << s.text.toStdString();
    rig.activate();
    transmit->setFocus(Qt::TabFocusReason);
    transmit->lineEdit()->setText("nonsense");
    emit transmit->lineEdit()->textEdited("nonsense");
    rig.widget("id_4")->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(rig.idle());
    EXPECT_FALSE(connect->isEnabled());
    QTest::keyClick(rig.widget("id_4"), Qt::Key_Return);
    ASSERT_TRUE(rig.idle());
    EXPECT_FALSE(rig.app->dialog().isVisible());
    EXPECT_EQ(rig.boxes.count(kUpdated), 1u);
}

// The chooser opens in the folder of the image named in the field, and returns a name
// typed into it even when no such file is there, as on Windows: the app then says that
// it cannot open it. The question is asked Yes or No, No the default.
TEST(QtApp, TheChooserAndTheBoxes) {
    AppRig rig;
    rig.start();
    rig.connectToSimulator();
    fs::create_directories(rig.dir / "images");
    rig.typeFile((rig.dir / "images" / "new.hfi").string());
    const std::string missing = (rig.dir / "not-there.hfi").string();
    QString title, opened;
    QTimer typer;
    QObject::connect(&typer, &QTimer::timeout, [&] {
        auto* d = shown<QFileDialog>();
        if (!d) return;
        // A chooser that refused the name would stay open (in its own event loop, inside
        // this test's): it is ended, and the test fails below.
        if (!opened.isEmpty()) return d->reject();
        title = d->windowTitle();
        opened = d->directory().absolutePath();
        d->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(missing));
        QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);  // as Open does
    });
    typer.start(5);
    rig.click("id_3");
    EXPECT_TRUE(rig.waitFor(QString::fromStdString("Can't open file " + missing + " for reading")));
    EXPECT_EQ(title, "Halden Firmware Update Utility file selector");
    EXPECT_EQ(opened, QString::fromStdString((rig.dir / "images").string()));

    rig.nameImage(rig.writeImage("same.hfi", test::imageWithArea(test::ascending(10), 1, 4)));
    rig.click("id_1001");
    ASSERT_TRUE(rig.waitFor(
        QString::fromStdString(test::then("Operation canceled", test::kNothingChanged))));
    const auto& question = rig.boxes.seen[rig.boxes.seen.size() - 2];
    EXPECT_EQ(question.title, kTitle);
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.byDefault, QMessageBox::No);
    // While a command runs the window shows a busy cursor and takes no clicks: a second
    // click cannot queue a second command.
    std::atomic<bool> release{false};
    rig.app->worker().post([&] {  // holds the worker, as a slow command would
        while (!release) std::this_thread::yield();
    });
    auto* connect = rig.widget("id_1000");
    QTest::mouseClick(connect, Qt::LeftButton);
    QTest::mouseClick(connect, Qt::LeftButton);
    for (QWidget* w : std::initializer_list<QWidget*>{rig.widget<QLineEdit>("id_1005"), connect}) {
        QWidget* under =
            rig.app->dialog().childAt(w->mapTo(&rig.app->dialog(), w->rect().center()));
        ASSERT_NE(under, nullptr);
        EXPECT_EQ(under->cursor().shape(), Qt::WaitCursor) << w->objectName().toStdString();
    }
    release = true;
    ASSERT_TRUE(rig.waitFor(kConnected, 2));
    EXPECT_EQ(rig.boxes.count(kConnected), 2u);
    // Torn down while a command waits for the GUI thread: the command is let finish (no
    // box waits for an answer), and nothing deadlocks (else the test hangs).
    rig.click("id_1000");
    rig.app.reset();  // at once, while Connect starts
}

// While firmware is written: Cancel answers Enter like a click; a close
// request from the system leaves the progress window on screen and closes the main
// window once the update has ended; a stop signal cancels, and the program ends once
// the update is recorded; a port that fails ends it with exit code 1.
TEST(QtApp, WhileAnUpdateRuns) {
    // How the update ended shows in its history status; its texts are the main window's.
    // The key on Cancel, the signal, the message the port fails at; whether the main window
    // stays, the exit code and the status recorded.
    const std::tuple<const char*, Qt::Key, int, unsigned, bool, int, StatusCode> cases[] = {
        {"Enter", Qt::Key_Return, 0, 0, true, 0, 5},
        {"close request", Qt::Key_unknown, 0, 0, false, 0, 0},
        {"SIGTERM", Qt::Key_unknown, SIGTERM, 0, false, 0, 5},
        {"port failure", Qt::Key_unknown, 0, 8, false, 1, 16},
    };
    for (const auto& [name, key, signal, portFailsAfter, stays, exitCode, status] : cases) {
        AppRig rig;
        rig.sim.portFailsAfter = portFailsAfter;
        rig.start();
        rig.connectToSimulator();
        rig.nameImage(rig.writeImage("big.hfi", test::imageWithArea(test::ascending(4000, 3))));
        rig.click("id_1001");
        ProgressDialog* progress = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            progress = shown<ProgressDialog>();
            return portFailsAfter || (progress && progress->findChild<QLabel*>("id_1012")->text() ==
                                                      "Updating Halden area...");
        })) << name;
        // No window blocks the main one: the toolkit would keep it from being closed.
        EXPECT_TRUE(portFailsAfter || !QApplication::activeModalWidget()) << name;
        if (key != Qt::Key_unknown)
            QTest::keyClick(progress->findChild<QPushButton*>("id_1011"), key);
        if (signal) ::kill(::getpid(), signal);
        if (status == 0) {
            QPointer<ProgressDialog> window = progress;
            window->close();
            EXPECT_TRUE(window && window->isVisible());
            rig.app->dialog().close();
            EXPECT_TRUE(rig.app->dialog().isVisible()) << name;  // until the update has ended
        }
        ASSERT_TRUE(rig.idle()) << name;
        EXPECT_EQ(rig.boxes.seen.back().title, status == 0 ? kTitle : kErrorTitle) << name;
        EXPECT_EQ(rig.boxes.seen.back().buttons, QMessageBox::Ok) << name;
        EXPECT_EQ(rig.app->dialog().isVisible(), stays) << name;
        EXPECT_EQ(rig.app->exitCode(), exitCode) << name;
        const Result<HistoryListing> history = readHistory(rig.options.historyPath);
        ASSERT_TRUE(history.ok() && history->entries.size() == 1u) << name;
        EXPECT_EQ(history->entries[0].status, status) << name;
    }
}

// Every static text and button shows its whole text, inside its window, whatever font
// stands in for the template's.
TEST(QtApp, EveryTextFits) {
    for (const char* family : {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono"}) {
        QFont::removeSubstitutions("MS Sans Serif");
        QFont::insertSubstitution("MS Sans Serif", family);
        MainDialog main;
        ProgressDialog progress([] {});
        progress.apply("Reading updated version #...", 50);
        for (QDialog* dialog : std::initializer_list<QDialog*>{&main, &progress}) {
            const QFontMetrics fm(dialog->font());
            for (QWidget* w : dialog->findChildren<QWidget*>()) {
                auto* label = qobject_cast<QLabel*>(w);
                auto* button = qobject_cast<QPushButton*>(w);
                const QString text = label ? label->text() : button ? button->text() : QString();
                if (text.isEmpty()) continue;
                const std::string what = std::string(family) + ": " + text.toStdString();
                EXPECT_LE(fm.horizontalAdvance(text), w->width() - (button ? 4 : 0)) << what;
                EXPECT_LE(fm.height(), w->height()) << what;
                EXPECT_TRUE(dialog->rect().contains(w->geometry())) << what;
            }
        }
    }
    QFont::removeSubstitutions("MS Sans Serif");
}

}  // namespace
}  // namespace halden::qt

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
