// A desktop app, written once for every front end: the engine's objects, the ports, the
// stored choice, the main window's logic on a worker thread, which commands block input,
// the four kinds of message box, and how the app ends while a command still runs. A
// front end supplies its windows through DesktopShell, MainWindowView and Progress, and
// forwards every notification to command().
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_ports.h"
#include "app/boxes.h"
#include "app/command_worker.h"
#include "app/history.h"
#include "app/main_window.h"
#include "app/options.h"
#include "app/port_settings.h"
#include "engine/receiver.h"
#include "transport/real_clock.h"

namespace halden {

// What a drop-down list's state selects: the current entry when the text shows it, else
// the entry that the text names whole (in any case), else nothing (-1). Typed text that
// names no entry is no selection.
int listSelection(int current, const std::string& text, const std::vector<std::string>& entries);

// Makes the simulated Halden's ports, when the app offers them.
using SimulatorFactory =
    std::function<std::unique_ptr<MidiPorts>(Clock& clock, MidiPorts::InputSink input)>;

// The store of the chosen ports: the file named, or else the platform's usual place
// (the registry on Windows, a file in the user's configuration folder elsewhere).
std::unique_ptr<PortSettings> makePortSettings(const std::string& path, MessageBoxes& boxes);

// The front end's own part of the app.
class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    // Runs `fn` on the windows' thread and waits for it (at once when called there).
    virtual void onWindowThread(const std::function<void()>& fn) = 0;
    // Runs `fn` on the windows' thread later; returns at once.
    virtual void postToWindowThread(std::function<void()> fn) = 0;
    // On the windows' thread: shows a box, owned by the main window when it is on
    // screen; true for Yes.
    virtual bool showBox(const BoxStyle& style, const std::string& text) = 0;
    // On the windows' thread: while a command that talks to the Halden runs, the main
    // window takes no input and shows that it is busy.
    virtual void setBusy(bool busy) = 0;
    // On the windows' thread: lets waiting events through for a moment.
    virtual void pumpEvents() = 0;
};

class DesktopCore {
public:
    DesktopCore(DesktopShell& shell, const DesktopOptions& options, SimulatorFactory simulator);
    ~DesktopCore();
    DesktopCore(const DesktopCore&) = delete;
    DesktopCore& operator=(const DesktopCore&) = delete;

    // The front end's windows, before start().
    void attach(MainWindowView& view, Progress& progress);
    // Lists the ports and sets the main window up. False when the program must end with
    // exit code 1 (its message has been shown).
    bool start();

    // On the windows' thread: one notification from a control of the main window.
    void command(int control, Notification notification);
    // On the windows' thread: the window's close box, Alt+F4 or the system.
    void closeRequest();
    // The progress window's Cancel: a wait for the Halden ends at once.
    void cancel();
    // From any thread: ports came or went (the MIDI system said so, or the window
    // system: Windows tells windows of devices that changed). The lists follow, after a
    // command that is running.
    void portsChanged();

    // Whether the main window takes no input now.
    bool inputBlocked() const { return inputBlocked_; }
    bool busy() const { return worker_.busy(); }
    // True once the app is going: no box waits for an answer, nothing new opens.
    const std::atomic<bool>& closing() const { return closing_; }
    // On the windows' thread: lets a running command finish before the app goes. The
    // engine is told to cancel, and the windows' events go on meanwhile, so the worker
    // never waits on a thread that no longer answers.
    void finishCommands();

    MidiPorts& ports() { return *ports_; }
    CommandWorker& worker() { return worker_; }

private:
    class Boxes;

    DesktopShell& shell_;
    RealClock clock_;
    CancelFlag cancel_{false};
    SysExReceiver receiver_{clock_, cancel_};
    std::atomic<bool> closing_{false};
    std::atomic<bool> inputBlocked_{false};
    std::atomic<bool> listing_{false};  // a refresh of the lists is queued
    std::unique_ptr<Boxes> boxes_;
    std::unique_ptr<AppPorts> ports_;
    std::unique_ptr<PortSettings> settings_;
    std::unique_ptr<History> history_;
    std::unique_ptr<EngineIo> io_;
    std::unique_ptr<MainWindow> window_;
    CommandWorker worker_;
};

}  // namespace halden
