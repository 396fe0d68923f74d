// Child processes for tests: code that must not touch the test process (resource limits, giving
// up root, standard error sent elsewhere) or that runs in several processes at once goes into a
// child made by fork, and the test waits for its exit status. Call from the test's thread.
#pragma once

#include <functional>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace KivTest {

// Starts body in a child process that exits with body's result; nothing else of the test runs
// there. The child's id, or -1 when no child could be made.
inline pid_t StartChild(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    return child;
}

// Waits for a child made by StartChild: its exit status, or -1 when it was not made or did not
// exit normally (killed by a signal).
inline int WaitForChild(pid_t child)
{
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Runs body in a child process and gives its exit status (-1 as WaitForChild says).
inline int RunInChild(const std::function<int()>& body)
{
    return WaitForChild(StartChild(body));
}

} // namespace KivTest
