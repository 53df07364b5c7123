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

#include "mount_ns.h"

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
        if (privateDir("/etc/vorx/label", &reason) && privateDir("/var/log/vorx", &reason)) {
            std::ofstream props("/etc/vorx/label/vorx-label-log.properties");
            props << "log4cpp.rootCategory=DEBUG, A\n"
                     "log4cpp.appender.A=FileAppender\n"
                     "log4cpp.appender.A.fileName="
                  << kTestLog
                  << "\n"
                     "log4cpp.appender.A.layout=PatternLayout\n"
                     "log4cpp.appender.A.layout.ConversionPattern=[%p] %m%n\n";
            props.close();
            int fd = open(kTestLog, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
            if (props && fd >= 0 && fchmod(fd, 0666) == 0 && close(fd) == 0)
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
    std::ifstream in(kTestLog);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
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
