#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "cli/platform.h"

namespace halden::cli {

namespace {

CancelFlag* g_cancel = nullptr;

extern "C" void onStopSignal(int) {
    if (g_cancel) g_cancel->store(true);
}

}  // namespace

// Repeated signals change nothing. No SA_RESTART, so that a question waiting for an
// answer is answered No.
void catchStopSignals(CancelFlag* cancel) {
    g_cancel = cancel;
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
