// The Qt front end through its real widgets, on the offscreen platform.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "rig.h"
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
    bool sawText(const QString& text) const {
        return std::any_of(seen.begin(), seen.end(), [&](const Seen& s) { return s.text == text; });
    }
    QTimer timer;
    bool yes = false;
    std::vector<Seen> seen;
    std::vector<QString> captions;
};

struct AppRig {
    AppRig() {
        fs::create_directories(dir);
        options.simulate = true;
        options.settingsPath = (dir / "ports.conf").string();
        options.midiSystem = "none";  // only the simulator, whatever this machine has
    }
    ~AppRig() { fs::remove_all(dir); }

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

    fs::path dir = fs::temp_directory_path() / ("halden-qt-" + std::to_string(::getpid()));
    DesktopOptions options;
    std::unique_ptr<DesktopApp> app;
    BoxAnswerer boxes;

    void start() {
        app = std::make_unique<DesktopApp>(options);
        ASSERT_TRUE(app->start());
        activate();
    }
    // Focus moves only inside the active window; a message box takes that away.
    void activate() {
        app->dialog().activateWindow();
        ASSERT_TRUE(waitUntil([this] { return app->dialog().isActiveWindow(); }));
    }
};

TEST(QtApp, ConnectAndUpdateThroughTheWidgets) {
    AppRig rig;
    rig.start();
    auto* transmit = rig.widget<QComboBox>("id_1003");
    ASSERT_EQ(transmit->count(), 2);  // "(Choose a MIDI port)" and the simulator
    EXPECT_EQ(transmit->itemText(1), "Halden Simulator");
    EXPECT_FALSE(rig.widget<QPushButton>("id_1000")->isEnabled());

    rig.choose("id_1003", 1);
    rig.choose("id_1004", 1);
    ASSERT_TRUE(rig.idle());
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
    for (const auto& s : rig.boxes.seen) {
        EXPECT_EQ(s.title, "Halden Firmware Update Utility") << s.text.toStdString();
        EXPECT_EQ(s.buttons, QMessageBox::Ok);
        EXPECT_TRUE(s.owned);
    }

    rig.click("id_4");
    ASSERT_TRUE(rig.idle());
    EXPECT_FALSE(rig.app->dialog().isVisible());
    std::ifstream stored(rig.options.settingsPath);
    const std::string settings((std::istreambuf_iterator<char>(stored)), {});
    EXPECT_EQ(settings, "InputBus=1\nOutputBus=1\n");
}

TEST(QtApp, ErrorsAndTheQuestionUseTheirBoxes) {
    AppRig rig;
    rig.start();
    rig.choose("id_1003", 1);
    rig.choose("id_1004", 1);
    ASSERT_TRUE(rig.idle());
    rig.click("id_1000");
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText("Connection established!"); }));
    ASSERT_TRUE(rig.idle());

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
    ASSERT_TRUE(waitUntil([&] { return rig.boxes.sawText("Operation canceled"); }));
    ASSERT_TRUE(rig.idle());
    const auto question =
        std::find_if(rig.boxes.seen.begin(), rig.boxes.seen.end(),
                     [](const auto& s) { return s.buttons.testFlag(QMessageBox::Yes); });
    ASSERT_NE(question, rig.boxes.seen.end());
    EXPECT_EQ(question->title, "Halden Firmware Update Utility");
    EXPECT_EQ(question->byDefault, QMessageBox::No);
    EXPECT_TRUE(question->text.startsWith("The Halden image in the Kestrel 9 is verified good"));
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

TEST(QtApp, TheTemplatesTextsIdsAndFocusOrder) {
    MainDialog main;
    EXPECT_EQ(main.windowTitle(), "Halden Firmware Update Utility - V1.00");
    const std::vector<std::pair<const char*, const char*>> texts = {
        {"id_1000", "Connect"}, {"id_3", "Find image"}, {"id_1001", "Update"}, {"id_4", "Exit"}};
    for (auto [id, text] : texts) {
        auto* button = main.findChild<QPushButton*>(id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text(), text);
    }
    EXPECT_TRUE(main.findChild<QPushButton*>("id_1001")->isDefault());
    std::vector<QString> labels;
    for (QLabel* l : main.findChildren<QLabel*>()) labels.push_back(l->text());
    for (const char* t : {"Transmit to", "Receive from", "Halden serial #",
                          "Current Halden version #", "Image filename"}) {
        EXPECT_NE(std::find(labels.begin(), labels.end(), t), labels.end()) << t;
    }
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
