// The Qt front end: the main window and progress window from their forms, the message
// boxes, and a worker thread on which every command of the main window runs, so that
// the windows stay live while the engine waits for the Halden.
#pragma once

#include <QDialog>
#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/host.h"
#include "engine/receiver.h"
#include "transport/real_clock.h"
#include "ui/app_ports.h"
#include "ui/command_worker.h"
#include "ui/file_port_settings.h"
#include "ui/main_window.h"

namespace Ui {
class DIALOG;
class PROGRESS;
}  // namespace Ui

namespace halden::qt {

class MainDialog;

struct DesktopOptions {
    bool simulate = false;
    std::string settingsPath;  // empty: the platform's usual place
    std::string midiSystem;
    SimOptions sim;
};

// Everything the app is made of, for main() and for the tests.
class DesktopApp {
public:
    explicit DesktopApp(const DesktopOptions& options);
    ~DesktopApp();

    // Lists the ports and shows the main window. False when the program must end with
    // exit code 1 (its message has been shown).
    bool start();
    // Runs until the window ends; returns the exit code.
    int exec();

    MainDialog& dialog() { return *dialog_; }
    // Lets a running command finish before the app goes: no box waits for an answer
    // and the engine is told to cancel, so the worker never waits on a GUI thread that
    // is no longer there.
    void finishCommands();
    bool busy() const { return worker_.busy(); }
    int exitCode() const { return exitCode_; }
    // The thread the commands run on (tests hold it to see what a slow command does).
    CommandWorker& worker() { return worker_; }

private:
    class Progress;
    class Boxes;
    class View;

    RealClock clock_;
    CancelFlag cancel_{false};
    SysExReceiver receiver_{clock_, cancel_};
    std::unique_ptr<MainDialog> dialog_;
    std::unique_ptr<Boxes> boxes_;
    std::unique_ptr<Progress> progress_;
    std::unique_ptr<View> view_;
    std::unique_ptr<AppPorts> ports_;
    std::unique_ptr<FilePortSettings> settings_;
    std::unique_ptr<EngineIo> io_;
    std::unique_ptr<MainWindow> window_;
    CommandWorker worker_;
    std::atomic<bool> inputBlocked_{false};
    std::atomic<bool> closing_{false};
    int exitCode_ = 0;
};

// The "DIALOG" window. Forwards its controls' notifications; takes no input while a
// command runs.
class MainDialog : public QDialog {
    Q_OBJECT
public:
    MainDialog();
    ~MainDialog() override;
    Ui::DIALOG& ui() { return *ui_; }

    std::function<void(int, Notification)> onCommand;
    std::function<void()> onClose;
    std::function<bool()> isBusy;

    // While a command runs: a busy cursor over the whole window, which takes no input.
    void setBusy(bool busy);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    std::unique_ptr<Ui::DIALOG> ui_;
    QWidget* busyCover_ = nullptr;
};

// The "PROGRESS" window.
class ProgressDialog : public QDialog {
    Q_OBJECT
public:
    // `above`: the window it is kept above (not an owner that it blocks).
    explicit ProgressDialog(std::function<void()> onCancel, QWidget* above = nullptr);
    ~ProgressDialog() override;
    void apply(const QString& caption, int percent);

protected:
    void reject() override {}  // Escape does nothing
    // A close request from the system ends the window; the operation goes on without
    // it. It does not cancel.
    void closeEvent(QCloseEvent* event) override;
    // The modal frame: a raised border, so that the window does not look like a hole
    // cut into the one below.
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Ui::PROGRESS> ui_;
};

}  // namespace halden::qt
