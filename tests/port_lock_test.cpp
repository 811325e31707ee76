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

// Runs `take` in a child that holds the lock until told to end; returns its pid.
pid_t holdInChild(const std::string& name, int& release) {
    int ready[2], done[2];
    if (pipe(ready) != 0 || pipe(done) != 0) std::abort();
    const pid_t child = fork();
    if (child == 0) {
        close(done[1]);
        auto lock = PortLock::take("ALSA", "output", name);
        char c = lock ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(done[0], &c, 1);  // until the parent closes its end
        _exit(0);
    }
    char c = 0;
    EXPECT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    close(ready[0]);
    close(ready[1]);
    close(done[0]);
    release = done[1];
    return child;
}

TEST(PortLock, AnotherProcessKeepsThePortUntilItEnds) {
    test::TempDir dir("port-lock");
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    int release = -1;
    const pid_t child = holdInChild("UM-ONE:UM-ONE MIDI 1 20:0", release);

    auto refused = PortLock::take("ALSA", "output", "UM-ONE:UM-ONE MIDI 1 20:0");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().code, 21u);
    EXPECT_EQ(refused.failure().text,
              "The MIDI output port \"UM-ONE:UM-ONE MIDI 1 20:0\" is in use by another halden "
              "program (process " +
                  std::to_string(child) +
                  "), which may be updating the Halden there. Nothing was sent; try again when it "
                  "has finished.");
    // The same name in the other direction, or on another MIDI system, is another port.
    EXPECT_TRUE(PortLock::take("ALSA", "input", "UM-ONE:UM-ONE MIDI 1 20:0"));
    EXPECT_TRUE(PortLock::take("JACK", "output", "UM-ONE:UM-ONE MIDI 1 20:0"));

    close(release);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(PortLock::take("ALSA", "output", "UM-ONE:UM-ONE MIDI 1 20:0"));
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
    const pid_t child = fork();
    if (child == 0) _exit(PortLock::take("JACK", "input", "Halden 1:out") ? 1 : 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    second->reset();
    const pid_t again = fork();
    if (again == 0) _exit(PortLock::take("JACK", "input", "Halden 1:out") ? 0 : 1);
    ASSERT_EQ(waitpid(again, &status, 0), again);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace halden
