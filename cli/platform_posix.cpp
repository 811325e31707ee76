#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/platform.h"
#include "engine/status.h"

namespace halden::cli {

namespace {

std::atomic<CancelFlag*> g_cancel{nullptr};
std::atomic<int> g_inHandler{0};  // handlers that may hold the flag they loaded
std::atomic<bool> g_stopped{false};
std::atomic<bool> g_sessionEnded{false};
std::atomic<int> g_exitStatus{0};

extern "C" void onStopSignal(int) {
    ++g_inHandler;
    if (CancelFlag* cancel = g_cancel.load()) cancel->store(true);
    --g_inHandler;
    g_stopped.store(true);
}

constexpr auto kAfterOutcome = std::chrono::milliseconds(500);
constexpr auto kGiveUp = std::chrono::milliseconds(1800);

// Started with the first catch: watches for a stop that the MIDI system keeps from
// ending the program.
void watchStops() {
    using Clock = std::chrono::steady_clock;
    while (!g_stopped) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const Clock::time_point stop = Clock::now();
    std::optional<Clock::time_point> told;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!told && g_sessionEnded) told = Clock::now();
        if (told && Clock::now() - *told > kAfterOutcome) break;
        if (!told && Clock::now() - stop > kGiveUp) {
            std::fputs(
                "\nThe MIDI system does not answer (is the JACK server stalled?); "
                "ending without waiting for it.\n",
                stderr);
            g_exitStatus = static_cast<int>(status::kCanceled);
            break;
        }
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(g_exitStatus);
}

}  // namespace

// Repeated signals change nothing. No SA_RESTART, so that a question waiting for an
// answer is answered No.
void sessionEnded(int exitStatus) {
    g_exitStatus = exitStatus;
    g_sessionEnded = true;
}

void endPromptlyAfterStops() {
    static std::once_flag watching;
    std::call_once(watching, [] { std::thread(watchStops).detach(); });
}

void catchStopSignals(CancelFlag* cancel) {
    g_cancel = cancel;
    // A signal may be handled on another thread: the flag just let go of belongs to the
    // caller, who may free it once this returns.
    while (g_inHandler.load() != 0) std::this_thread::yield();
    struct sigaction action {};
    action.sa_handler = cancel ? onStopSignal : SIG_DFL;
    action.sa_flags = 0;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool isTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) == 1;
}

bool canRedrawLines(std::FILE* stream) {
    return isTerminal(stream);
}

int terminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace halden::cli
