// What the command line needs from the operating system, one file a platform.
#pragma once

#include <cstdio>

#include "engine/cancel_flag.h"

namespace halden::cli {

// From now on Ctrl-C, a closed terminal or console, and a polite request to end set
// `cancel`: the update stops after the message in flight. nullptr restores the
// defaults (and lets a console that is being closed go).
void catchStopSignals(CancelFlag* cancel);

#ifdef _WIN32
// What the console's stop events (Ctrl-C, Ctrl-Break, closing the console, logging off)
// do: exposed for tests, which cannot raise real console events under Wine.
int onConsoleEvent(unsigned long event);
#endif

// After Ctrl-C or SIGTERM the program ends within two seconds, whatever the MIDI system
// does: a stalled JACK server blocks closing a port without end. Told when a session has
// told and recorded its outcome (with the exit status it gives), the program ends soon
// after the stop even when closing hangs; with nothing told, it gives up waiting on the
// MIDI system with a word. From endPromptlyAfterStops() on (the verbs that talk to a
// Halden; not the simulator, which saves its files as it ends). Windows: nothing to do
// (its console stop waits for the session).
void endPromptlyAfterStops();
void sessionEnded(int exitStatus);

// True when `stream` is an interactive terminal.
bool isTerminal(std::FILE* stream);

// True when `stream` is a terminal that takes the escape sequences with which the
// progress line redraws itself.
bool canRedrawLines(std::FILE* stream);

// Columns of the terminal `stream` is on (80 when it cannot be told).
int terminalColumns(std::FILE* stream);

// A failed write of output (a closed pipe) must not end the program.
void ignoreBrokenPipes();

}  // namespace halden::cli
