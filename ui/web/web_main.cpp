// The updater as a web page: the main window's logic from app/, the engine and the
// Web MIDI ports, on the page's one thread. Every wait of the engine is an awaited
// promise (Asyncify), which a timeout or arriving MIDI input releases, so the page stays
// live meanwhile; the page (app.js) draws the controls, forwards every notification as
// a command, and calls the exports below.
#include <emscripten.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "app/app_ports.h"
#include "app/boxes.h"
#include "app/history.h"
#include "app/main_window.h"
#include "app/port_settings.h"
#include "engine/receiver.h"
#include "halden_version.h"
#include "sim/simulator_ports.h"
#include "transport/webmidi/webmidi_ports.h"

namespace halden {

// web_sim_options.cpp: the simulator's options, as the desktop apps' command line takes
// them; false, with CLI11's words, when they are not understood.
bool readSimOptions(const std::string& line, SimOptions& options, std::string& why);

namespace {

// clang-format off
EM_ASYNC_JS(void, js_wait, (double ms), {
    await new Promise((resolve) => {
        const done = () => { clearTimeout(timer); Module.wake = null; resolve(); };
        const timer = setTimeout(done, ms);
        Module.wake = done;
    });
});
EM_JS(void, js_wake, (), { if (Module.wake) Module.wake(); });
EM_JS(void, js_schedule, (int id, double ms), {
    setTimeout(() => Module._web_run_scheduled(id), ms);
});
EM_ASYNC_JS(int, js_box, (int kind, const char* title, const char* text, int yesNo), {
    return await Module.shell.box(kind, UTF8ToString(title), UTF8ToString(text), yesNo);
});
EM_ASYNC_JS(char*, js_choose_file, (const char* current), {
    const name = await Module.shell.chooseFile(UTF8ToString(current));
    if (name === null) return 0;
    const n = lengthBytesUTF8(name) + 1;
    const p = _malloc(n);
    stringToUTF8(name, p, n);
    return p;
});
EM_JS(void, js_enable, (int id, int on), { Module.shell.enable(id, on); });
EM_JS(void, js_set_text, (int id, const char* text), {
    Module.shell.setText(id, UTF8ToString(text));
});
EM_JS(char*, js_text, (int id), {
    const text = Module.shell.text(id);
    const n = lengthBytesUTF8(text) + 1;
    const p = _malloc(n);
    stringToUTF8(text, p, n);
    return p;
});
EM_JS(void, js_set_entries, (int id, const char* lines), {
    Module.shell.setEntries(id, UTF8ToString(lines).split("\n"));
});
EM_JS(void, js_select, (int id, int position), { Module.shell.select(id, position); });
EM_JS(int, js_selection, (int id), { return Module.shell.selection(id); });
EM_JS(void, js_end, (int code), { Module.shell.end(code); });
EM_JS(void, js_progress, (int what, const char* caption, int percent), {
    Module.shell.progress(what, UTF8ToString(caption), percent);
});
EM_JS(char*, js_stored, (const char* key), {
    let text = null;
    try { text = localStorage.getItem(UTF8ToString(key)); } catch (e) {}
    if (text === null) return 0;
    const n = lengthBytesUTF8(text) + 1;
    const p = _malloc(n);
    stringToUTF8(text, p, n);
    return p;
});
EM_JS(int, js_store, (const char* key, const char* text), {
    try { localStorage.setItem(UTF8ToString(key), UTF8ToString(text)); return 1; }
    catch (e) { return 0; }
});
// clang-format on

std::string taken(char* text) {
    if (!text) return {};
    std::string s(text);
    std::free(text);
    return s;
}

// The page's clock: the browser's monotonic time, and waits that give the page back
// its thread until a timeout or notify().
class PageClock : public Clock {
public:
    Duration now() const override {
        return Duration(static_cast<Duration::rep>(emscripten_get_now() * 1000.0));
    }
    bool waitFor(Duration timeout, const std::function<bool()>& ready) override {
        const Duration deadline = now() + timeout;
        while (!ready()) {
            const Duration left = deadline - now();
            if (left <= Duration::zero()) return ready();
            js_wait(static_cast<double>(left.count()) / 1000.0);
        }
        return true;
    }
    void notify() override { js_wake(); }
};

// The simulated Halden's replies, at their time, from the page's timers.
class PageScheduler : public Scheduler {
public:
    explicit PageScheduler(Clock& clock) : clock_(clock) {}
    void at(Clock::Duration when, std::function<void()> fn) override {
        const int id = next_++;
        events_[id] = std::move(fn);
        const Clock::Duration in = when - clock_.now();
        js_schedule(id, in.count() > 0 ? static_cast<double>(in.count()) / 1000.0 : 0.0);
    }
    void stop() override { events_.clear(); }
    void run(int id) {
        const auto found = events_.find(id);
        if (found == events_.end()) return;
        const std::function<void()> fn = std::move(found->second);
        events_.erase(found);
        fn();
    }

private:
    Clock& clock_;
    int next_ = 0;
    std::map<int, std::function<void()>> events_;
};

class PageBoxes : public MessageBoxes {
public:
    void errorBox(std::string_view text) override { (void)show(BoxKind::Error, text); }
    bool askYesNo(std::string_view text) override { return show(BoxKind::Question, text); }
    void noticeBox(std::string_view text) override { (void)show(BoxKind::Notice, text); }
    void fatalBox(std::string_view text) override { (void)show(BoxKind::Fatal, text); }

private:
    static bool show(BoxKind kind, std::string_view text) {
        const BoxStyle style = boxStyle(kind);
        return js_box(static_cast<int>(kind), std::string(style.title).c_str(),
                      std::string(text).c_str(), style.yesNo) != 0;
    }
};

class PageProgress : public Progress {
public:
    void open() override { js_progress(0, "", 0); }
    void set(std::string_view caption, int percent) override {
        js_progress(1, std::string(caption).c_str(), percent);
    }
    void close() override { js_progress(2, "", 0); }
};

class PageView : public MainWindowView {
public:
    void enable(int control, bool on) override { js_enable(control, on); }
    void setText(int control, const std::string& text) override {
        js_set_text(control, text.c_str());
    }
    std::string text(int control) override { return taken(js_text(control)); }
    void setEntries(int list, const std::vector<std::string>& entries) override {
        std::string lines;
        for (const std::string& e : entries) lines += (lines.empty() ? "" : "\n") + e;
        js_set_entries(list, lines.c_str());
    }
    void select(int list, int position) override { js_select(list, position); }
    int selection(int list) override { return js_selection(list); }
    bool chooseFile(std::string& path) override {
        char* chosen = js_choose_file(path.c_str());
        if (!chosen) return false;
        path = taken(chosen);
        return true;
    }
    void end(int exitCode) override { js_end(exitCode); }
};

// The chosen ports, by position and name, in the browser's storage for this site.
class PagePortSettings : public StoredPortSettings {
public:
    using StoredPortSettings::StoredPortSettings;

protected:
    bool read(PortChoice& choice) override {
        const std::string in = taken(js_stored("halden.inputBus"));
        const std::string out = taken(js_stored("halden.outputBus"));
        if (in.empty() || out.empty()) return false;
        choice.input = std::atoi(in.c_str());
        choice.output = std::atoi(out.c_str());
        choice.inputName = taken(js_stored("halden.inputName"));
        choice.outputName = taken(js_stored("halden.outputName"));
        return true;
    }
    Outcome write(const PortChoice& choice) override {
        const bool ok = js_store("halden.inputBus", std::to_string(choice.input).c_str()) &&
                        js_store("halden.inputName", choice.inputName.c_str()) &&
                        js_store("halden.outputBus", std::to_string(choice.output).c_str()) &&
                        js_store("halden.outputName", choice.outputName.c_str());
        if (ok) return {};
        return Failure{status::kCannotOpenFile,
                       "Unable to keep the chosen MIDI ports in this browser's storage."};
    }
};

// Every update, as the history file's lines, in the browser's storage for this site.
class PageHistory : public History {
public:
    Outcome append(HistoryEntry entry) override {
        entry.time = utcNow();
        const std::string kept = taken(js_stored("halden.history"));
        if (js_store("halden.history", (kept + historyLine(entry) + "\n").c_str())) return {};
        return Failure{status::kCannotOpenFile,
                       "Can't keep the update history in this browser's storage."};
    }
};

struct Page {
    Page(bool simulate, const SimOptions& sim) {
        auto feed = [this](ByteView bytes) { receiver.feed(bytes); };
        std::unique_ptr<MidiPorts> simulator;
        if (simulate) {
            auto timers = std::make_unique<PageScheduler>(clock);
            scheduler = timers.get();
            simulator = std::make_unique<SimulatorPorts>(sim, clock, feed, std::move(timers));
        }
        ports = std::make_unique<AppPorts>(std::make_unique<WebMidiPorts>(), std::move(simulator));
        io = std::make_unique<EngineIo>(EngineIo{*ports, receiver, progress, boxes, cancel, clock});
        window = std::make_unique<MainWindow>(view, *io, *ports, settings, history);
        window->setProgramName("halden-web " HALDEN_VERSION);
    }
    PageClock clock;
    CancelFlag cancel{false};
    SysExReceiver receiver{clock, cancel};
    PageBoxes boxes;
    PageProgress progress;
    PageView view;
    PagePortSettings settings{boxes};
    PageHistory history;
    PageScheduler* scheduler = nullptr;  // the simulator's, when offered
    std::unique_ptr<AppPorts> ports;
    std::unique_ptr<EngineIo> io;
    std::unique_ptr<MainWindow> window;
};

Page* page = nullptr;

}  // namespace
}  // namespace halden

using halden::page;

extern "C" {

// Sets the window up; 0 when the page cannot go on (its message has been shown).
// `simOptions`: the in-page simulator's options, as after the desktop app's --simulate.
EMSCRIPTEN_KEEPALIVE int web_start(int simulate, const char* simOptions) {
    halden::SimOptions sim;
    if (std::string why; simulate && !halden::readSimOptions(simOptions, sim, why)) {
        halden::PageBoxes().errorBox(why);
        return 0;
    }
    page = new halden::Page(simulate != 0, sim);
    return page->window->create() ? 1 : 0;
}

// One notification from a control of the main window (a halden::Notification).
EMSCRIPTEN_KEEPALIVE void web_command(int control, int notification) {
    page->window->command(control, static_cast<halden::Notification>(notification));
}

EMSCRIPTEN_KEEPALIVE void web_close() {
    page->window->closeRequest();
}

EMSCRIPTEN_KEEPALIVE void web_ports_changed() {
    page->window->portsChanged();
}

// The calls below come while a command waits (its wait is suspended): they only set
// state and wake the wait, never wait themselves.
EMSCRIPTEN_KEEPALIVE void web_cancel() {
    page->cancel = true;
    page->clock.notify();
}

EMSCRIPTEN_KEEPALIVE void web_midi_input(const uint8_t* bytes, size_t length) {
    page->receiver.feed(halden::ByteView(bytes, length));
}

EMSCRIPTEN_KEEPALIVE void web_port_failed(const char* why) {
    page->receiver.failPort(why);
}

EMSCRIPTEN_KEEPALIVE void web_run_scheduled(int id) {
    if (page && page->scheduler) page->scheduler->run(id);
}

}  // extern "C"
