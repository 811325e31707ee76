// The port locks between processes: a child process holds a port, and this one may not
// take it until the child has ended, however it ends.
#include "app/port_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "temp_dir.h"

namespace halden {
namespace {

constexpr const char* kPort = "UM-ONE:UM-ONE MIDI 1 20:0";

// Whether a process of its own gets the port now.
bool anotherProcessTakes(const char* system, const char* direction, const std::string& name) {
    const pid_t child = fork();
    if (child == 0) _exit(PortLock::take(system, direction, name) ? 0 : 1);
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(PortLock, AnotherProcessKeepsThePortUntilItEnds) {
    test::TempDir dir("port-lock");
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    int ready[2], done[2];
    ASSERT_TRUE(pipe(ready) == 0 && pipe(done) == 0);
    const pid_t child = fork();
    if (child == 0) {
        close(done[1]);
        auto lock = PortLock::take("ALSA", "output", kPort);
        char c = lock ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(done[0], &c, 1);  // until the parent closes its end
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    close(done[0]);

    auto refused = PortLock::take("ALSA", "output", kPort);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().code, 21u);
    EXPECT_EQ(refused.failure().text,
              "The MIDI output port \"UM-ONE:UM-ONE MIDI 1 20:0\" is in use by another halden "
              "program (process " +
                  std::to_string(child) +
                  "), which may be updating the Halden there. Nothing was sent; try again when it "
                  "has finished.");
    // The same name in the other direction, or on another MIDI system, is another port.
    EXPECT_TRUE(PortLock::take("ALSA", "input", kPort));
    EXPECT_TRUE(PortLock::take("JACK", "output", kPort));

    close(done[1]);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_TRUE(PortLock::take("ALSA", "output", kPort));
    unsetenv("XDG_RUNTIME_DIR");
}

TEST(PortLock, ThreadsOfOneProcessShareAPortAndTheLastLetsGo) {
    test::TempDir dir("port-lock");
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    auto first = PortLock::take("JACK", "input", "Halden 1:out");
    auto second = PortLock::take("JACK", "input", "Halden 1:out");
    ASSERT_TRUE(first && second);
    first->reset();
    // Still held for the second user: another process is refused.
    EXPECT_FALSE(anotherProcessTakes("JACK", "input", "Halden 1:out"));
    second->reset();
    EXPECT_TRUE(anotherProcessTakes("JACK", "input", "Halden 1:out"));
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace halden
