#include "ui/qt/desktop_app.h"

#include <qdrawutil.h>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <tuple>

#include "ui/qt/dialog_units.h"

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif
#include "ui_dialog.h"
#include "ui_progress.h"

namespace halden::qt {

namespace {

// Qt hands a call to the GUI thread and back with locks ThreadSanitizer cannot see (Qt
// is not built with it). In a ThreadSanitizer build these tell it the order Qt already
// guarantees; elsewhere they are nothing.
#if defined(__SANITIZE_THREAD__)
char g_handOver;
void handOverRelease() {
    __tsan_release(&g_handOver);
}
void handOverAcquire() {
    __tsan_acquire(&g_handOver);
}
#else
void handOverRelease() {}
void handOverAcquire() {}
#endif

// Runs `f` on the thread of `context` (the GUI thread) and waits for it.
template <class F>
auto onGui(QObject* context, F f) -> decltype(f()) {
    if (QThread::currentThread() == context->thread()) return f();
    handOverRelease();
    if constexpr (std::is_void_v<decltype(f())>) {
        QMetaObject::invokeMethod(
            context,
            [&] {
                handOverAcquire();
                f();
                handOverRelease();
            },
            Qt::BlockingQueuedConnection);
        handOverAcquire();
    } else {
        decltype(f()) result{};
        QMetaObject::invokeMethod(
            context,
            [&] {
                handOverAcquire();
                result = f();
                handOverRelease();
            },
            Qt::BlockingQueuedConnection);
        handOverAcquire();
        return result;
    }
}

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QWidget* controlWidget(QWidget* dialog, int id) {
    return dialog->findChild<QWidget*>(QStringLiteral("id_%1").arg(id));
}

// A box is as wide as its text, so a short text would leave its title cut off in the
// title bar ("Halden F...ate Utility"): make room for the title in the window
// manager's bold font and its buttons.
void keepTitleWhole(QMessageBox& box) {
    QFont bold = box.font();
    bold.setBold(true);
    const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) * 6 / 5 + 120;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

void centre(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - window->rect().center());
    }
}

}  // namespace

// ---- the windows ----

namespace {

// Linux desktops give buttons and labelled fields access keys (Alt+letter, the letter
// underlined); without them Alt+letter typed into the lists and the file field. Set
// here, so that the forms stay as the Windows templates they mirror.
void giveAccessKeys(QDialog& dialog) {
    for (const auto& [name, text] : {std::pair{"id_1001", "&Update"},
                                     {"id_1000", "&Connect"},
                                     {"id_3", "&Find image"},
                                     {"id_4", "E&xit"}}) {
        if (auto* button = dialog.findChild<QPushButton*>(name)) button->setText(text);
    }
    for (const auto& [name, text, buddy] : {std::tuple{"transmitLabel", "&Transmit to", "id_1003"},
                                            {"receiveLabel", "&Receive from", "id_1004"},
                                            {"fileLabel", "&Image filename", "id_1005"}}) {
        auto* label = dialog.findChild<QLabel*>(name);
        auto* field = dialog.findChild<QWidget*>(buddy);
        if (!label || !field) continue;
        label->setText(text);
        label->setBuddy(field);
    }
}

}  // namespace

MainDialog::MainDialog() : ui_(std::make_unique<Ui::DIALOG>()) {
    ui_->setupUi(this);
    giveAccessKeys(*this);
    applyDialogUnits(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const auto forward = [this](int id, Notification n) {
        if (onCommand) onCommand(id, n);
    };
    for (int id : {IDC_CONNECT, IDC_UPDATE, IDC_FINDIMAGE, IDC_EXIT}) {
        auto* button = static_cast<QPushButton*>(controlWidget(this, id));
        connect(button, &QPushButton::clicked, this,
                [forward, id] { forward(id, Notification::Clicked); });
    }
    for (QComboBox* list : {ui_->id_1003, ui_->id_1004}) {
        const int id = list == ui_->id_1003 ? IDC_TRANSMIT : IDC_RECEIVE;
        // activated: the user's choices only, not the program's.
        connect(list, &QComboBox::activated, this,
                [forward, id] { forward(id, Notification::SelectionChanged); });
        connect(list->lineEdit(), &QLineEdit::textEdited, this,
                [forward, id] { forward(id, Notification::TextChanged); });
        list->installEventFilter(this);
        list->lineEdit()->installEventFilter(this);
    }
    connect(ui_->id_1005, &QLineEdit::textEdited, this,
            [forward] { forward(IDC_FILENAME, Notification::TextChanged); });
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    installEventFilter(this);
}

MainDialog::~MainDialog() = default;

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
            // While a command runs the main window takes no input.
            if (isBusy && isBusy()) return true;
            break;
        case QEvent::FocusIn:
        case QEvent::FocusOut: {
            // Focus moving to another window (a message box, the progress window) is not
            // the user leaving a control.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
            const Notification n =
                event->type() == QEvent::FocusIn ? Notification::FocusIn : Notification::FocusOut;
            int id = IDC_NONE;
            if (watched == ui_->id_1005) id = IDC_FILENAME;
            if (watched == ui_->id_1003 || watched == ui_->id_1003->lineEdit()) {
                id = IDC_TRANSMIT;
            }
            if (watched == ui_->id_1004 || watched == ui_->id_1004->lineEdit()) {
                id = IDC_RECEIVE;
            }
            if (id != IDC_NONE && onCommand) onCommand(id, n);
            break;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::closeEvent(QCloseEvent* event) {
    event->ignore();  // the controller ends the window, after a running command
    if (onClose) onClose();
}

void MainDialog::setBusy(bool busy) {
    if (!busyCover_) {
        // An empty child over every control: it shows the busy cursor wherever the
        // mouse is (controls such as the field have cursors of their own) and receives
        // the clicks, which then go nowhere.
        busyCover_ = new QWidget(this);
        busyCover_->setCursor(Qt::WaitCursor);
    }
    busyCover_->setGeometry(rect());
    busyCover_->setVisible(busy);
    if (busy) busyCover_->raise();
}

void MainDialog::reject() {
    // Escape does not close the window: it is a command that matches no control.
    if (onCommand) onCommand(IDC_NONE, Notification::Other);
}

ProgressDialog::ProgressDialog(std::function<void()> onCancel, QWidget* above)
    : QDialog(above), ui_(std::make_unique<Ui::PROGRESS>()) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    // Not modal at the toolkit's level: the main window takes no input while a command
    // runs anyway, and Qt drops every close request from the system for a window that a
    // modal one blocks, so the main window could not be closed during an update.
    setWindowModality(Qt::NonModal);
    setAttribute(Qt::WA_DeleteOnClose);
    ui_->id_1013->setRange(0, 100);
    connect(ui_->id_1011, &QPushButton::clicked, this, [onCancel] { onCancel(); });
}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::closeEvent(QCloseEvent* event) {
    event->ignore();  // the operation closes the window when it ends
}

void ProgressDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
}

void ProgressDialog::apply(const QString& caption, int percent) {
    ui_->id_1012->setText(caption);
    ui_->id_1013->setValue(percent);
}

// ---- the engine's and the main window's interfaces, on the GUI thread ----

class DesktopApp::Progress : public halden::Progress {
public:
    Progress(QWidget* above, DesktopCore& core) : above_(above), core_(core) {}
    ~Progress() override { delete window_.data(); }
    void open() override {
        if (core_.closing()) return;
        onGui(above_, [this] {
            if (window_) return;
            // Kept above the main window by the window manager.
            window_ = new ProgressDialog([this] { core_.cancel(); }, above_);
            centre(window_);
            window_->show();
        });
    }
    void set(std::string_view caption, int percent) override {
        const QString text = q(caption);
        onGui(above_, [&] {
            if (window_) window_->apply(text, percent);
        });
    }
    void close() override {
        onGui(above_, [this] { delete window_.data(); });
    }

private:
    QWidget* above_;
    DesktopCore& core_;
    QPointer<ProgressDialog> window_;
};

class DesktopApp::Shell : public DesktopShell {
public:
    explicit Shell(MainDialog& dialog) : dialog_(dialog) {}
    void onWindowThread(const std::function<void()>& fn) override { onGui(&dialog_, fn); }
    void postToWindowThread(std::function<void()> fn) override {
        QMetaObject::invokeMethod(&dialog_, std::move(fn), Qt::QueuedConnection);
    }
    bool showBox(const BoxStyle& style, const std::string& text) override {
        const auto buttons = style.yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
        // A box shown before the main window exists has no owner.
        QMessageBox box(QMessageBox::NoIcon, q(style.title), q(text), buttons,
                        dialog_.isVisible() ? &dialog_ : nullptr);
        box.setDefaultButton(style.yesNo ? QMessageBox::No : QMessageBox::Ok);
        keepTitleWhole(box);
        return box.exec() == QMessageBox::Yes;
    }
    void setBusy(bool busy) override { dialog_.setBusy(busy); }
    void pumpEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }

private:
    MainDialog& dialog_;
};

class DesktopApp::View : public MainWindowView {
public:
    View(MainDialog& dialog, std::function<void(int)> end) : dialog_(dialog), end_(end) {}
    void enable(int c, bool on) override {
        onGui(&dialog_, [&] { controlWidget(&dialog_, c)->setEnabled(on); });
    }
    void setText(int c, const std::string& text) override {
        const QString t = q(text);
        onGui(&dialog_, [&] {
            QWidget* w = controlWidget(&dialog_, c);
            if (auto* label = qobject_cast<QLabel*>(w)) label->setText(t);
            if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(t);
        });
    }
    std::string text(int c) override {
        return onGui(&dialog_, [&] {
            QWidget* w = controlWidget(&dialog_, c);
            if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
            if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentText().toStdString();
            if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
            return std::string();
        });
    }
    void setEntries(int c, const std::vector<std::string>& entries) override {
        onGui(&dialog_, [&] {
            auto* list = static_cast<QComboBox*>(controlWidget(&dialog_, c));
            list->clear();
            for (const auto& e : entries) list->addItem(q(e));
            list->setCurrentIndex(-1);
        });
    }
    void select(int c, int position) override {
        onGui(&dialog_, [&] {
            auto* list = static_cast<QComboBox*>(controlWidget(&dialog_, c));
            list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
        });
    }
    int selection(int c) override {
        return onGui(&dialog_, [&] {
            const auto* list = static_cast<QComboBox*>(controlWidget(&dialog_, c));
            std::vector<std::string> entries;
            for (int i = 0; i < list->count(); ++i)
                entries.push_back(list->itemText(i).toStdString());
            return listSelection(list->currentIndex(), list->currentText().toStdString(), entries);
        });
    }
    bool chooseFile(std::string& path) override {
        const QString chosen = onGui(&dialog_, [&] {
            // As the Windows chooser: a typed name of a file that is not there is
            // returned too, and then refused by the app with its own message.
            // It opens where the image named is, else where the last one was chosen
            // (Windows' own chooser remembers that by itself).
            static QString lastFolder;
            QString folder = lastFolder;
            if (!path.empty()) {
                const QFileInfo named(QString::fromStdString(path));
                if (named.absoluteDir().exists()) folder = named.absolutePath();
            }
            QFileDialog chooser(&dialog_, QString::fromUtf8(kChooserTitle), folder,
                                QString::fromUtf8(kChooserFilterName));
            chooser.setFileMode(QFileDialog::AnyFile);
            chooser.setAcceptMode(QFileDialog::AcceptOpen);
            chooser.setOption(QFileDialog::DontConfirmOverwrite);
            if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
                return QString();
            }
            lastFolder = QFileInfo(chooser.selectedFiles().front()).absolutePath();
            return chooser.selectedFiles().front();
        });
        if (chosen.isEmpty()) return false;
        path = chosen.toStdString();
        return true;
    }
    void end(int code) override {
        onGui(&dialog_, [&] { end_(code); });
    }

private:
    MainDialog& dialog_;
    std::function<void(int)> end_;
};

// ---- the app ----

DesktopApp::DesktopApp(const DesktopOptions& options, SimulatorFactory simulator)
    : dialog_(std::make_unique<MainDialog>()), shell_(std::make_unique<Shell>(*dialog_)) {
    core_ = std::make_unique<DesktopCore>(*shell_, options, std::move(simulator));
    progress_ = std::make_unique<Progress>(dialog_.get(), *core_);
    view_ = std::make_unique<View>(*dialog_, [this](int code) {
        exitCode_ = code;
        dialog_->hide();
        emit dialog_->finished(code);
    });
    core_->attach(*view_, *progress_);
    dialog_->isBusy = [this] { return core_->inputBlocked(); };
    dialog_->onCommand = [this](int id, Notification n) { core_->command(id, n); };
    dialog_->onClose = [this] { core_->closeRequest(); };
}

DesktopApp::~DesktopApp() {
    stopSignals_.reset();
    core_->finishCommands();
}

bool DesktopApp::start() {
    if (!core_->start()) return false;
    // As Cancel, then as closing the window: the update in progress ends at its next
    // step and is recorded before the program ends.
    stopSignals_ = std::make_unique<StopSignals>([this] {
        core_->cancel();
        core_->closeRequest();
    });
    centre(dialog_.get());
    dialog_->show();
    return true;
}

int DesktopApp::exec() {
    QEventLoop loop;
    QObject::connect(dialog_.get(), &QDialog::finished, &loop, [&loop](int) { loop.quit(); });
    loop.exec();
    // A command may still be finishing; its calls into the windows need the event loop.
    core_->finishCommands();
    core_->ports().closePorts();
    return exitCode_;
}

}  // namespace halden::qt
