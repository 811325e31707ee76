// The port locks between processes: another process may not take a port this one holds
// until its last user here lets go, and gets one that a process which ended, however it
// ended, held.
#include "app/port_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "temp_dir.h"

namespace halden {
namespace {

constexpr const char* kPort = "UM-ONE:UM-ONE MIDI 1 20:0";

// What a process of its own is told when it takes the port (nothing: it got it). It
// ends still holding it, as a killed one would.
std::string anotherProcessTakes(const char* system, const char* direction) {
    int told[2];
    if (pipe(told) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        const auto lock = PortLock::take(system, direction, kPort);
        const std::string text =
            lock ? "" : std::to_string(lock.failure().code) + " " + lock.failure().text;
        _exit(write(told[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 1);
    }
    close(told[1]);
    std::string text;
    for (char c = 0; read(told[0], &c, 1) == 1;) text += c;
    close(told[0]);
    int status = 0;
    EXPECT_TRUE(waitpid(child, &status, 0) == child && WIFEXITED(status) && !WEXITSTATUS(status));
    return text;
}

TEST(PortLock, HeldUntilTheLastUserLetsGoOrItsProcessEnds) {
    test::TempDir dir("port-lock");
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    EXPECT_EQ(anotherProcessTakes("ALSA", "output"), "");
    auto first = PortLock::take("ALSA", "output", kPort);
    auto second = PortLock::take("ALSA", "output", kPort);  // threads of one process share it
    ASSERT_TRUE(first && second);
    first->reset();
    EXPECT_EQ(anotherProcessTakes("ALSA", "output"),
              "21 The MIDI output port \"UM-ONE:UM-ONE MIDI 1 20:0\" is in use by another halden "
              "program (process " +
                  std::to_string(getpid()) +
                  "), which may be updating the Halden there. Nothing was sent; try again when it "
                  "has finished.");
    second->reset();
    EXPECT_EQ(anotherProcessTakes("ALSA", "output"), "");
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace halden
