// The Qt front end: the main window and progress window from their forms, the message
// boxes, and a worker thread on which every command of the main window runs, so that
// the windows stay live while the engine waits for the Halden.
#pragma once

#include <QDialog>
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

#include "app/desktop.h"
#include "ui/qt/stop_signals.h"

namespace Ui {
class DIALOG;
class PROGRESS;
}  // namespace Ui

namespace halden::qt {

class MainDialog;

// The Qt windows of a desktop app, for main() and for the tests.
class DesktopApp {
public:
    // `simulator` may be empty: the simulated Halden is not offered.
    DesktopApp(const DesktopOptions& options, SimulatorFactory simulator);
    ~DesktopApp();

    // Lists the ports and shows the main window. False when the program must end with
    // exit code 1 (its message has been shown).
    bool start();
    // Runs until the window ends; returns the exit code.
    int exec();

    MainDialog& dialog() { return *dialog_; }
    void finishCommands() { core_->finishCommands(); }
    bool busy() const { return core_->busy(); }
    int exitCode() const { return exitCode_; }
    // The thread the commands run on (tests hold it to see what a slow command does).
    CommandWorker& worker() { return core_->worker(); }

private:
    class Progress;
    class Shell;
    class View;

    std::unique_ptr<MainDialog> dialog_;
    std::unique_ptr<Shell> shell_;
    std::unique_ptr<DesktopCore> core_;
    std::unique_ptr<Progress> progress_;
    std::unique_ptr<View> view_;
    std::unique_ptr<StopSignals> stopSignals_;
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
    // A close request (Alt+F4, the system) is refused: while firmware is being written
    // the user must see the progress and keep Cancel. It does not cancel either.
    void closeEvent(QCloseEvent* event) override;
    // The modal frame: a raised border, so that the window does not look like a hole
    // cut into the one below.
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Ui::PROGRESS> ui_;
};

}  // namespace halden::qt
