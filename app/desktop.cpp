#include "app/desktop.h"

#include <algorithm>

#include "engine/text.h"
#include "transport/system_ports.h"

namespace halden {

int listSelection(int current, const std::string& text, const std::vector<std::string>& entries) {
    if (current >= 0 && static_cast<size_t>(current) < entries.size() &&
        entries[static_cast<size_t>(current)] == text) {
        return current;
    }
    const std::string wanted = lowerAscii(text);
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const std::string& entry) {
        return lowerAscii(entry) == wanted;
    });
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

// The four kinds of box, on the windows' thread. Once the app is going nobody is there
// to answer: the default answer (No) is taken.
class DesktopCore::Boxes : public MessageBoxes {
public:
    explicit Boxes(DesktopCore& app) : app_(app) {}
    void errorBox(std::string_view text) override { (void)show(BoxKind::Error, text); }
    bool askYesNo(std::string_view text) override { return show(BoxKind::Question, text); }
    void noticeBox(std::string_view text) override { (void)show(BoxKind::Notice, text); }
    void fatalBox(std::string_view text) override { (void)show(BoxKind::Fatal, text); }

private:
    bool show(BoxKind kind, std::string_view text) {
        if (app_.closing_) return false;
        const std::string body(text);
        bool yes = false;
        app_.shell_.onWindowThread([&] { yes = app_.shell_.showBox(boxStyle(kind), body); });
        return yes;
    }
    DesktopCore& app_;
};

DesktopCore::DesktopCore(DesktopShell& shell, const DesktopOptions& options,
                         SimulatorFactory simulator)
    : shell_(shell), boxes_(std::make_unique<Boxes>(*this)) {
    auto feed = [this](ByteView bytes) { receiver_.feed(bytes); };
    auto real = makeSystemPorts(
        clock_, feed, [this](const std::string& why) { receiver_.failPort(why); },
        options.midiSystem);
    ports_ =
        std::make_unique<AppPorts>(std::move(real), simulator ? simulator(clock_, feed) : nullptr);
    settings_ = makePortSettings(options.settingsPath, *boxes_);
    history_ = makeHistory(options.historyPath);
}

DesktopCore::~DesktopCore() {
    closing_ = true;
    ports_->watchPorts(nullptr);
    cancel();
    worker_.stop();
    ports_->closePorts();
}

void DesktopCore::attach(MainWindowView& view, Progress& progress) {
    io_ = std::make_unique<EngineIo>(
        EngineIo{*ports_, receiver_, progress, *boxes_, cancel_, clock_});
    window_ = std::make_unique<MainWindow>(view, *io_, *ports_, *settings_, *history_);
}

bool DesktopCore::start() {
    if (!window_->create()) return false;
    ports_->watchPorts([this] { portsChanged(); });
    return true;
}

void DesktopCore::portsChanged() {
    // A device brings several ports at once: one refresh for all that are queued.
    if (closing_ || listing_.exchange(true)) return;
    worker_.post([this] {
        listing_ = false;
        window_->portsChanged();
    });
}

void DesktopCore::command(int control, Notification n) {
    // Connect and Update talk to the Halden for a long time; the window takes no input
    // meanwhile, from this very click on (so a second click cannot queue a second
    // command). Other commands are short and queue up in order, so that a click that
    // moves the focus is not lost to the focus change's command.
    const bool talks =
        n == Notification::Clicked && (control == IDC_CONNECT || control == IDC_UPDATE);
    if (talks) {
        inputBlocked_ = true;
        shell_.setBusy(true);
    }
    worker_.post([this, control, n, talks] {
        window_->command(control, n);
        if (!talks) return;
        shell_.postToWindowThread([this] {
            inputBlocked_ = false;
            shell_.setBusy(false);
        });
    });
}

void DesktopCore::closeRequest() {
    // Carried out by the main window's logic, after a command that is running.
    worker_.post([this] { window_->closeRequest(); });
}

void DesktopCore::cancel() {
    cancel_ = true;
    clock_.notify();
}

void DesktopCore::finishCommands() {
    closing_ = true;
    ports_->watchPorts(nullptr);
    cancel();
    // A command may still be waiting on this thread (a view call): let it through.
    while (worker_.busy()) shell_.pumpEvents();
    worker_.stop();
}

}  // namespace halden
