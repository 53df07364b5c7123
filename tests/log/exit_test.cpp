#include <sys/wait.h>

#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "log_capture.h"

namespace {

// Runs the program once with standard output discarded; its wait status.
int runOnce(const char* program)
{
    std::string why;
    const pid_t pid = vorxtest::spawn({program}, -1, -1, -1, &why);
    int status = -1;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return status;
}

// Every run is a chance for exit() to meet a record in flight; one crash or
// hang in any of them is the fault.
TEST(LoggerAtExit, ARecordLoggedWhileTheProcessExitsIsDroppedNotACrash)
{
    VORX_SKIP_UNLESS(vorxtest::privateLogDirs, "no private mount namespace");
    std::string failures;
    for (int run = 0; run < 30; ++run) {
        const int status = runOnce(VORX_EXIT_WHILE_LOGGING);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            failures += " run " + std::to_string(run) + ": " +
                        (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                             : "status " + std::to_string(status));
    }
    EXPECT_EQ(failures, "");
}

}  // namespace
