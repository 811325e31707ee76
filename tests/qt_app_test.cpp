// The Qt front end through its real widgets, on the offscreen platform.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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

bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Answers every message box as it appears and notes what it showed.
struct BoxAnswerer {
    struct Seen {
        QString title, text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton byDefault;
        bool owned;
    };
    BoxAnswerer() {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(5);
    }
    void poll() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                seen.push_back({box->windowTitle(), box->text(), box->standardButtons(),
                                box->standardButton(box->defaultButton()),
                                box->parentWidget() != nullptr});
                box->button(box->button(QMessageBox::Yes)
                                ? (yes ? QMessageBox::Yes : QMessageBox::No)
                                : QMessageBox::Ok)
                    ->click();
            }
            if (w->inherits("halden::qt::ProgressDialog") && w->isVisible()) {
                if (auto* caption = w->findChild<QLabel*>("id_1012")) {
                    if (captions.empty() || captions.back() != caption->text()) {
                        captions.push_back(caption->text());
                    }
                }
            }
        }
    }
    bool sawText(const QString& text) const { return count(text) > 0; }
    size_t count(const QString& text) const {
        return static_cast<size_t>(
            std::count_if(seen.begin(), seen.end(), [&](const Seen& s) { return s.text == text; }));
    }
    QTimer timer;
    bool yes = false;
    std::vector<Seen> seen;
    std::vector<QString> captions;
};

struct AppRig {
    AppRig() {
        options.simulate = true;
        options.settingsPath = (dir / "ports.conf").string();
        options.historyPath = (dir / "history.log").string();
        options.midiSystem = "none";  // only the simulator, whatever this machine has
    }

    template <class W>
    W* widget(const char* name) {
        return app->dialog().findChild<W*>(name);
    }
    void choose(const char* list, int position) {
        auto* combo = widget<QComboBox>(list);
        combo->setCurrentIndex(position);
        emit combo->activated(position);
    }
    void click(const char* name) { widget<QPushButton>(name)->click(); }
    std::string writeImage(const char* name, const Bytes& data, uint8_t major = 0x7F,
                           uint8_t minor = 0x7F) {
        const std::string path = (dir / name).string();
        const Bytes bytes = test::imageWithArea(data, major, minor);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        return path;
    }
    // An image whose area and firmware both carry this version.
    std::string versionedImage(const char* name, uint8_t major, uint8_t minor) {
        Bytes data = test::ascending(300);
        data[0] = major, data[1] = minor;
        return writeImage(name, data, major, minor);
    }
    // Typing into the file name field.
    void typeFile(const std::string& path) {
        activate();
        auto* field = widget<QLineEdit>("id_1005");
        field->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(field->hasFocus());
        field->setText(QString::fromStdString(path));
        emit field->textEdited(field->text());
    }
    bool idle() {
        return waitUntil([this] { return !app->busy(); });
    }
    // "Halden Simulator" in both lists.
    void chooseSimulator() {
        choose("id_1003", 1);
        choose("id_1004", 1);
        ASSERT_TRUE(idle());
    }
    // ... and Connect, through the widgets.
    void connectToSimulator() {
        chooseSimulator();
        const size_t before = boxes.count("Connection established!");
        click("id_1000");
        ASSERT_TRUE(waitUntil([&] { return boxes.count("Connection established!") > before; }));
        ASSERT_TRUE(idle());
    }
    // Types an image's name and leaves the field, so that it is checked.
    void nameImage(const std::string& path) {
        typeFile(path);
        widget<QPushButton>("id_1000")->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(idle());
        ASSERT_TRUE(widget<QPushButton>("id_1001")->isEnabled());
    }
    std::string settings() const {
        std::ifstream stored(options.settingsPath);
        return std::string((std::istreambuf_iterator<char>(stored)), {});
    }
    ProgressDialog* progressWindow() const {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* p = qobject_cast<ProgressDialog*>(w); p && p->isVisible()) return p;
        }
        return nullptr;
    }

    test::TempDir temp{"halden-qt"};
    fs::path dir = temp.path();
    DesktopOptions options;
    SimOptions sim;
    std::unique_ptr<DesktopApp> app;
    BoxAnswerer boxes;

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
};

// Both ports restored from the last run: Connect is ready as the window appears, as on
// Windows, not only once the focus moves. A port found by its stored name wins over
// its stored position.
TEST(QtApp, ConnectIsReadyAfterAStartThatRestoredBothPorts) {
    AppRig rig;
    std::ofstream(rig.options.settingsPath)
        << "InputBus=7\nOutputBus=1\nInputBusName=Halden Simulator\n";
    rig.app = std::make_unique<DesktopApp>(rig.options, simulatorFactory(rig.sim));
    ASSERT_TRUE(rig.app->start());
    ASSERT_TRUE(waitUntil([&] { return !rig.app->busy(); }));
    EXPECT_EQ(rig.widget<QComboBox>("id_1004")->currentIndex(), 1);
    EXPECT_EQ(rig.widget<QComboBox>("id_1003")->currentIndex(), 1);
    EXPECT_TRUE(rig.widget<QPushButton>("id_1000")->isEnabled());
}

TEST(QtApp, ConnectAndUpdateThroughTheWidgets) {
    AppRig rig;
    rig.start();
    auto* transmit = rig.widget<QComboBox>("id_1003");
    ASSERT_EQ(transmit->count(), 2);  // "(Choose a MIDI port)" and the simulator
    EXPECT_EQ(transmit->itemText(1), "Halden Simulator");
    EXPECT_FALSE(rig.widget<QPushButton>("id_1000")->isEnabled());

    rig.chooseSimulator();
    ASSERT_TRUE(rig.widget<QPushButton>("id_1000")->isEnabled());
    // A real mouse click while a list has the focus: the press moves the focus (a
    // command of its own), the release still makes the click.
    rig.activate();
    transmit->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(rig.widget<QPushButton>("id_1000"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText("Connection established!"); }));
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(rig.widget<QLabel>("id_1009")->text(), "000a7f100102");
    EXPECT_EQ(rig.widget<QLabel>("id_1010")->text(), "1.4");
    EXPECT_TRUE(rig.widget<QPushButton>("id_3")->isEnabled());

    // A valid image named and the field left: Update becomes available.
    rig.typeFile(rig.writeImage("old.hfi", test::ascending(100, 5)));
    rig.widget<QPushButton>("id_1000")->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(rig.idle());
    ASSERT_TRUE(rig.widget<QPushButton>("id_1001")->isEnabled());
    // Another name typed and Update pressed without leaving the field: the name shown
    // is the one used.
    rig.typeFile(rig.writeImage("v2.3.hfi", test::ascending(600, 2)));
    rig.click("id_1001");
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText("Halden was successfully updated."); }))
        << rig.boxes.seen.back().text.toStdString();
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(rig.widget<QLabel>("id_1010")->text(), "2.3");
    EXPECT_NE(
        std::find(rig.boxes.captions.begin(), rig.boxes.captions.end(), "Updating Halden area..."),
        rig.boxes.captions.end());
    // Recorded in the history.
    const Result<HistoryListing> history = readHistory(rig.options.historyPath);
    ASSERT_TRUE(history.ok());
    ASSERT_EQ(history->entries.size(), 1u);
    EXPECT_EQ(history->entries[0].image, "v2.3.hfi");
    EXPECT_EQ(history->entries[0].versionAfter, "2.3");
    EXPECT_EQ(history->entries[0].output, "Halden Simulator");
    EXPECT_EQ(history->entries[0].program.rfind("halden-gui ", 0), 0u);
    for (const auto& s : rig.boxes.seen) {
        EXPECT_EQ(s.title, "Halden Firmware Update Utility") << s.text.toStdString();
        EXPECT_EQ(s.buttons, QMessageBox::Ok);
        EXPECT_TRUE(s.owned);
    }

    rig.click("id_4");
    ASSERT_TRUE(rig.idle());
    EXPECT_FALSE(rig.app->dialog().isVisible());
    EXPECT_EQ(rig.settings(),
              "InputBus=1\nOutputBus=1\nInputBusName=Halden Simulator\nOutputBusName=Halden "
              "Simulator\n");
}

TEST(QtApp, ErrorsAndTheQuestionUseTheirBoxes) {
    AppRig rig;
    rig.start();
    rig.connectToSimulator();

    // A file that is gone by the time Update is pressed.
    const std::string gone = rig.writeImage("gone.hfi", test::ascending(10));
    rig.typeFile(gone);
    rig.widget<QPushButton>("id_1000")->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(rig.idle());
    fs::remove(gone);
    rig.click("id_1001");
    const QString cannotOpen = QString::fromStdString("Can't open file " + gone + " for reading");
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText(cannotOpen); }));
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(rig.boxes.seen.back().title, "Halden Firmware Update Utility Error");
    EXPECT_EQ(rig.boxes.seen.back().buttons, QMessageBox::Ok);

    // An image for the version the simulator runs asks the up-to-date question.
    rig.typeFile(rig.writeImage("same.hfi", test::ascending(10), 1, 4));
    rig.click("id_1001");
    const QString canceled =
        QString::fromStdString(test::then("Operation canceled", test::kNothingChanged));
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText(canceled); }));
    ASSERT_TRUE(rig.idle());
    const auto question =
        std::find_if(rig.boxes.seen.begin(), rig.boxes.seen.end(),
                     [](const auto& s) { return s.buttons.testFlag(QMessageBox::Yes); });
    ASSERT_NE(question, rig.boxes.seen.end());
    EXPECT_EQ(question->title, "Halden Firmware Update Utility");
    EXPECT_EQ(question->byDefault, QMessageBox::No);
    EXPECT_TRUE(question->text.startsWith("The Halden image in the Kestrel 9 is verified good"));
}

// A Halden that does not prove the update: its own failure, and what it read back.
TEST(QtApp, AnUpdateTheHaldenDoesNotProveFails) {
    AppRig rig;
    rig.sim.versionAfterUpdate = Version{1, 4};
    rig.start();
    rig.connectToSimulator();
    rig.nameImage(rig.versionedImage("v1.5.hfi", 1, 5));
    rig.click("id_1001");
    const QString text = QString::fromStdString(
        test::then("The Halden reports version 1.4 after the update; the image holds 1.5",
                   test::kNotConfirmed));
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText(text); }));
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(rig.boxes.seen.back().title, "Halden Firmware Update Utility Error");
    EXPECT_FALSE(rig.boxes.sawText("Halden was successfully updated."));
    EXPECT_EQ(rig.widget<QLabel>("id_1010")->text(), "1.4");
}

// An image older than the Halden's firmware: asked before anything is erased; No
// leaves the Halden as it was.
TEST(QtApp, AnOlderImageIsAskedFirst) {
    AppRig rig;
    rig.sim.version = {1, 5};
    rig.start();
    rig.connectToSimulator();
    rig.nameImage(rig.versionedImage("v1.4.hfi", 1, 4));
    rig.click("id_1001");
    const QString canceled =
        QString::fromStdString(test::then("Operation canceled", test::kNothingChanged));
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText(canceled); }));
    ASSERT_TRUE(rig.idle());
    EXPECT_TRUE(rig.boxes.sawText(
        "The Halden runs version 1.5, and this image holds the older version 1.4. Updating "
        "replaces the newer firmware with the older one. Update anyway?"));
    EXPECT_EQ(rig.widget<QLabel>("id_1010")->text(), "1.5");
}

// A name typed into the chooser is returned even when no such file is there, and the
// app says that it cannot open it, as on Windows (the chooser does not refuse it itself).
TEST(QtApp, TheChooserReturnsATypedNameOfAMissingFile) {
    AppRig rig;
    rig.start();
    rig.connectToSimulator();
    const std::string missing = (rig.dir / "not-there.hfi").string();
    QPointer<QFileDialog> chooser;
    QTimer typer;
    int ticks = 0;
    QObject::connect(&typer, &QTimer::timeout, [&] {
        // A chooser that refused the name stays open (it runs its own event loop, inside
        // this test's): it is ended, and the test fails below.
        if (chooser && chooser->isVisible() && ++ticks > 100) chooser->reject();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d || !d->isVisible() || chooser) continue;
            chooser = d;
            EXPECT_EQ(d->windowTitle(), "Halden Firmware Update Utility file selector");
            auto* name = d->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(missing));
            QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);  // as Open does
        }
    });
    typer.start(5);
    rig.click("id_3");
    const QString cannotOpen =
        QString::fromStdString("Can't open file " + missing + " for reading");
    const bool said = waitUntil([&] { return rig.boxes.sawText(cannotOpen); }, 5000);
    EXPECT_TRUE(said);
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(rig.widget<QLineEdit>("id_1005")->text().toStdString(), missing);
    EXPECT_FALSE(rig.widget<QPushButton>("id_1001")->isEnabled());
}

// Alt+letter presses a button or reaches a labelled field, as on Linux desktops, and
// types nothing into the list that has the focus.
TEST(QtApp, AccessKeys) {
    AppRig rig;
    rig.start();
    rig.chooseSimulator();
    auto* transmit = rig.widget<QComboBox>("id_1003");
    transmit->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_I, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), rig.widget<QLineEdit>("id_1005"));
    EXPECT_EQ(rig.widget<QLineEdit>("id_1005")->text(), "");
    transmit->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(waitUntil([&] { return rig.boxes.count("Connection established!") == 1; }));
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(transmit->currentText(), "Halden Simulator");
}

// The chooser opens in the folder of the image named in the field, not the working one.
TEST(QtApp, TheChooserOpensWhereTheImageNamedIs) {
    AppRig rig;
    rig.start();
    rig.connectToSimulator();
    std::filesystem::create_directories(rig.dir / "images");
    rig.typeFile((rig.dir / "images" / "new.hfi").string());
    QString opened;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d || !d->isVisible()) continue;
            opened = d->directory().absolutePath();
            QMetaObject::invokeMethod(d, "reject", Qt::QueuedConnection);
        }
    });
    watcher.start(5);
    rig.click("id_3");
    ASSERT_TRUE(waitUntil([&] { return !opened.isEmpty(); }, 5000));
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(opened, QString::fromStdString((rig.dir / "images").string()));
}

// In a dialog, Enter presses the focused button; the default button (Update) only
// while the focus is on something that is not a button.
TEST(QtApp, EnterPressesTheFocusedButton) {
    AppRig rig;
    rig.start();
    rig.connectToSimulator();
    rig.typeFile(rig.writeImage("new.hfi", test::ascending(300, 3)));
    auto* connect = rig.widget<QPushButton>("id_1000");
    connect->setFocus(Qt::TabFocusReason);  // the field is left: the image is checked
    ASSERT_TRUE(rig.idle());
    ASSERT_TRUE(rig.widget<QPushButton>("id_1001")->isEnabled());

    QTest::keyClick(connect, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.count("Connection established!") == 2; }));
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(rig.boxes.count("Halden was successfully updated."), 0u);
    EXPECT_EQ(rig.widget<QLabel>("id_1010")->text(), "1.4");

    // Enter in the field: the default button, Update.
    auto* field = rig.widget<QLineEdit>("id_1005");
    rig.activate();
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.count("Halden was successfully updated."); }));
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(rig.widget<QLabel>("id_1010")->text(), "3.4");

    // Enter on Exit ends the program, without another update.
    rig.activate();
    rig.widget<QPushButton>("id_4")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(rig.widget<QPushButton>("id_4"), Qt::Key_Return);
    ASSERT_TRUE(rig.idle());
    EXPECT_FALSE(rig.app->dialog().isVisible());
    EXPECT_EQ(rig.boxes.count("Halden was successfully updated."), 1u);
}

// A drop-down list whose text names no entry has no selection: Connect is disabled,
// and -1 is what is stored for it.
TEST(QtApp, ListTextThatNamesNoEntryIsNoSelection) {
    AppRig rig;
    rig.start();
    rig.chooseSimulator();
    ASSERT_TRUE(rig.widget<QPushButton>("id_1000")->isEnabled());
    auto* transmit = rig.widget<QComboBox>("id_1003");
    transmit->setFocus(Qt::TabFocusReason);
    transmit->lineEdit()->setText("nonsense");
    emit transmit->lineEdit()->textEdited("nonsense");
    rig.widget<QComboBox>("id_1004")->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(rig.idle());
    EXPECT_FALSE(rig.widget<QPushButton>("id_1000")->isEnabled());
    EXPECT_EQ(rig.settings(), "InputBus=1\nOutputBus=-1\nInputBusName=Halden Simulator\n");
}

// The progress window's Cancel answers Enter and Space like a click; a close request
// from the system ends the window while the operation goes on.
TEST(QtApp, ProgressWindowCancelAndCloseRequest) {
    for (const auto& [name, key] : {std::pair{"Enter", Qt::Key_Return},
                                    {"Space", Qt::Key_Space},
                                    {"close request", Qt::Key_unknown}}) {
        AppRig rig;
        rig.start();
        rig.connectToSimulator();
        rig.nameImage(rig.writeImage("big.hfi", test::ascending(4000, 3)));
        rig.click("id_1001");
        ProgressDialog* progress = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            progress = rig.progressWindow();
            return progress &&
                   progress->findChild<QLabel*>("id_1012")->text() == "Updating Halden area...";
        })) << name;
        // No window blocks the main one, which the toolkit would otherwise keep from
        // being closed by the user.
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        if (key == Qt::Key_unknown) {
            // Alt+F4 or the system: the window stays, with its progress and Cancel, while
            // the firmware is written.
            QPointer<ProgressDialog> window = progress;
            window->close();
            EXPECT_FALSE(window.isNull()) << name;
            EXPECT_TRUE(window && window->isVisible()) << name;
            rig.app->dialog().close();  // and the main window: closed when the update ends
        } else {
            QTest::keyClick(progress->findChild<QPushButton*>("id_1011"), key);
        }
        ASSERT_TRUE(rig.idle()) << name;
        if (key == Qt::Key_unknown) {
            EXPECT_TRUE(rig.boxes.sawText("Halden was successfully updated.")) << name;
            EXPECT_FALSE(rig.app->dialog().isVisible()) << name;
        } else {
            EXPECT_TRUE(rig.boxes.sawText(
                QString::fromStdString(test::then("Operation canceled", test::kErasedByCancel))))
                << name;
            EXPECT_EQ(rig.widget<QLabel>("id_1010")->text(), "") << name;  // erased
        }
    }
}

// SIGTERM, SIGHUP or SIGINT in the middle of an update: canceled at the next step, the
// history line written, and then the program ends.
TEST(QtApp, AStopSignalCancelsTheUpdateAndRecordsIt) {
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        AppRig rig;
        rig.start();
        rig.connectToSimulator();
        rig.nameImage(rig.writeImage("big.hfi", test::ascending(4000, 3)));
        rig.click("id_1001");
        ASSERT_TRUE(waitUntil([&] {
            ProgressDialog* progress = rig.progressWindow();
            return progress &&
                   progress->findChild<QLabel*>("id_1012")->text() == "Updating Halden area...";
        })) << signal;
        ::kill(::getpid(), signal);
        ASSERT_TRUE(rig.idle()) << signal;
        EXPECT_TRUE(rig.boxes.sawText(
            QString::fromStdString(test::then("Operation canceled", test::kErasedByCancel))))
            << signal;
        EXPECT_FALSE(rig.app->dialog().isVisible()) << signal;
        const Result<HistoryListing> history = readHistory(rig.options.historyPath);
        ASSERT_TRUE(history.ok()) << signal;
        ASSERT_EQ(history->entries.size(), 1u) << signal;
        EXPECT_EQ(history->entries[0].status, 5u) << signal;
    }
}

// The progress window has a visible frame: its edge is not the window's background.
TEST(QtApp, ProgressWindowHasAFrame) {
    ProgressDialog progress([] {});
    const QImage image = progress.grab().toImage();
    const QColor background = progress.palette().color(QPalette::Window);
    for (QPoint edge : {QPoint(0, image.height() / 2), QPoint(image.width() / 2, 0),
                        QPoint(image.width() - 1, image.height() / 2),
                        QPoint(image.width() / 2, image.height() - 1)}) {
        EXPECT_NE(image.pixelColor(edge), background) << edge.x() << "," << edge.y();
    }
}

// A close request while a command runs is carried out when it ends; meanwhile the
// window shows a busy cursor and takes no clicks, so a second click cannot queue a
// second command.
TEST(QtApp, WhileACommandRuns) {
    AppRig rig;
    rig.start();
    rig.chooseSimulator();
    std::atomic<bool> release{false};
    rig.app->worker().post([&] {  // holds the worker, as a slow command would
        while (!release) std::this_thread::yield();
    });
    auto* connect = rig.widget<QPushButton>("id_1000");
    QTest::mouseClick(connect, Qt::LeftButton);
    QTest::mouseClick(connect, Qt::LeftButton);
    for (QWidget* w :
         {static_cast<QWidget*>(rig.widget<QLineEdit>("id_1005")), static_cast<QWidget*>(connect),
          static_cast<QWidget*>(rig.widget<QComboBox>("id_1004"))}) {
        const QPoint centre = w->mapTo(&rig.app->dialog(), w->rect().center());
        QWidget* under = rig.app->dialog().childAt(centre);
        ASSERT_NE(under, nullptr);
        EXPECT_EQ(under->cursor().shape(), Qt::WaitCursor) << w->objectName().toStdString();
    }
    rig.app->dialog().close();
    EXPECT_TRUE(rig.app->dialog().isVisible());
    release = true;
    ASSERT_TRUE(rig.idle());
    EXPECT_EQ(rig.boxes.count("Connection established!"), 1u);
    EXPECT_FALSE(rig.app->dialog().isVisible());
    EXPECT_EQ(rig.app->exitCode(), 0);
    EXPECT_EQ(rig.settings(),
              "InputBus=1\nOutputBus=1\nInputBusName=Halden Simulator\nOutputBusName=Halden "
              "Simulator\n");
}

// The app is torn down while a command waits for the GUI thread: the command is let
// finish (no box waits for an answer), and nothing deadlocks.
TEST(QtApp, TeardownWhileACommandRuns) {
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!done) {
            std::fprintf(stderr, "teardown deadlocked\n");
            std::_Exit(3);
        }
    });
    {
        AppRig rig;
        rig.start();
        rig.chooseSimulator();
        QTest::mouseClick(rig.widget<QPushButton>("id_1000"), Qt::LeftButton);
        rig.app.reset();  // at once, while Connect starts
    }
    done = true;
    watchdog.join();
}

// A MIDI port that fails during an update: its text in the fatal box, which asks
// nothing and says what state the Halden is in; the program ends with exit code 1.
TEST(QtApp, APortFailureIsFatal) {
    AppRig rig;
    rig.sim.portFailsAfter = 8;
    rig.start();
    rig.connectToSimulator();
    rig.nameImage(rig.writeImage("new.hfi", test::ascending(2000, 3)));
    rig.click("id_1001");
    const QString text = QString::fromStdString(
        test::then("The MIDI port \"Halden Simulator\" has gone away. Is the MIDI interface still "
                   "connected?",
                   test::kErasedPortGone));
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText(text); }));
    ASSERT_TRUE(rig.idle());
    const auto& fatal = rig.boxes.seen.back();
    EXPECT_EQ(fatal.title, "Halden Firmware Update Utility Error");
    EXPECT_EQ(fatal.buttons, QMessageBox::Ok);
    EXPECT_FALSE(rig.app->dialog().isVisible());
    EXPECT_EQ(rig.app->exitCode(), 1);
}

// Every static text and button shows its whole text, whatever font stands in for the
// template's.
TEST(QtApp, NoTextIsClipped) {
    for (const char* family : {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono"}) {
        QFont::removeSubstitutions("MS Sans Serif");
        QFont::insertSubstitution("MS Sans Serif", family);
        MainDialog main;
        ProgressDialog progress([] {});
        progress.apply("Reading updated version #...", 50);
        for (QDialog* dialog : std::initializer_list<QDialog*>{&main, &progress}) {
            const QFontMetrics fm(dialog->font());
            for (QWidget* w : dialog->findChildren<QWidget*>()) {
                QString text;
                int room = w->width();
                if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
                if (auto* button = qobject_cast<QPushButton*>(w)) {
                    text = button->text();
                    room -= 4;
                }
                if (text.isEmpty()) continue;
                EXPECT_LE(fm.horizontalAdvance(text), room) << family << ": " << text.toStdString();
                EXPECT_LE(fm.height(), w->height()) << family << ": " << text.toStdString();
                EXPECT_TRUE(dialog->rect().contains(w->geometry()))
                    << family << ": " << text.toStdString();
            }
        }
    }
    QFont::removeSubstitutions("MS Sans Serif");
}

// Tab reaches every control that takes input, in the template's order.
TEST(QtApp, FocusOrder) {
    MainDialog main;
    EXPECT_EQ(main.windowTitle(), "Halden Firmware Update Utility - V1.00");
    // The keyboard's focus stops, in the template's order.
    std::vector<QString> order;
    QWidget* w = main.findChild<QWidget*>("id_1001");
    for (int i = 0; i < 40 && order.size() < 7; ++i, w = w->nextInFocusChain()) {
        const QString name = w->objectName();
        if (name.startsWith("id_") && w->focusPolicy() != Qt::NoFocus &&
            std::find(order.begin(), order.end(), name) == order.end()) {
            order.push_back(name);
        }
    }
    EXPECT_EQ(order, (std::vector<QString>{"id_1001", "id_1000", "id_3", "id_1005", "id_1003",
                                           "id_1004", "id_4"}));
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
