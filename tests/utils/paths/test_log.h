#ifndef VORX_TEST_UTILS_TEST_LOG_H
#define VORX_TEST_UTILS_TEST_LOG_H

// The utilities log through Logger, which reads and writes fixed host paths:
// tests that may log first move into a private mount namespace where those
// places are empty tmpfs mounts and the log goes to one file we can read.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log_capture.h"

namespace vorxtest {

constexpr char kTestLog[] = "/var/log/vorx/test.log";

// Once per process; the log file is writable by everyone so that a child
// that dropped its privileges can log too.
inline bool setUpTestLog(std::string* why)
{
    static int state = 0;
    static std::string reason;
    if (state == 0) {
        state = -1;
        if (privateLogDirs(&reason)) {
            bool written = writeTextFile(kLogProperties, debugProperties(kTestLog, "A", "[%p] %m%n"));
            int fd = open(kTestLog, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
            if (written && fd >= 0 && fchmod(fd, 0666) == 0 && close(fd) == 0)
                state = 1;
            else
                reason = "cannot write the log configuration";
        }
    }
    if (state < 0 && why)
        *why = reason;
    return state > 0;
}

inline std::string readTestLog()
{
    return readTextFile(kTestLog);
}

// The log lines written since construction.
class LogWatch {
public:
    LogWatch() : start_(readTestLog().size()) {}
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::istringstream in(readTestLog().substr(start_));
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }

private:
    size_t start_;
};

}  // namespace vorxtest

#define VORX_REQUIRE_TEST_LOG()                                          \
    do {                                                                 \
        std::string vorx_log_why_;                                       \
        if (!::vorxtest::setUpTestLog(&vorx_log_why_))                   \
            GTEST_SKIP() << "no private log directories: " << vorx_log_why_; \
    } while (0)

#endif
