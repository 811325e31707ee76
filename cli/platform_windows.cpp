#include <io.h>
#include <windows.h>

#include <atomic>

#include "cli/platform.h"

namespace halden::cli {

namespace {

std::atomic<CancelFlag*> g_cancel{nullptr};
std::atomic<int> g_inHandler{0};  // handlers that may hold the flag they loaded
HANDLE g_finished = nullptr;      // set when the session has let go of the console

BOOL WINAPI consoleEvent(DWORD event) {
    return onConsoleEvent(event);
}

}  // namespace

int onConsoleEvent(unsigned long event) {
    ++g_inHandler;
    CancelFlag* cancel = g_cancel.load();
    if (cancel) cancel->store(true);
    --g_inHandler;
    if (!cancel) return FALSE;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process when this returns (or after about 5 s): give the
        // update the time to stop after the message in flight.
        WaitForSingleObject(g_finished, 4500);
    }
    return TRUE;
}

void catchStopSignals(CancelFlag* cancel) {
    if (!g_finished) g_finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (cancel) {
        ResetEvent(g_finished);
        g_cancel = cancel;
        SetConsoleCtrlHandler(consoleEvent, TRUE);
    } else {
        g_cancel = nullptr;
        // Windows calls the handler on a thread of its own: the flag just let go of
        // belongs to the caller, who may free it once this returns.
        while (g_inHandler.load() != 0) SwitchToThread();
        SetEvent(g_finished);
    }
}

bool isTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

bool canRedrawLines(std::FILE* stream) {
    if (!isTerminal(stream)) return false;
    // The progress line needs the console to take escape sequences (Windows 10 and
    // later do when asked).
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return false;
    return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int terminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetConsoleScreenBufferInfo(handle, &info)) {
        return info.srWindow.Right - info.srWindow.Left + 1;
    }
    return 80;
}

void ignoreBrokenPipes() {
    // Windows has no SIGPIPE: a write to a closed pipe just fails.
}

void sessionEnded(int) {}
void endPromptlyAfterStops() {}

}  // namespace halden::cli
