#ifndef VORX_TEST_LOG_CAPTURE_H
#define VORX_TEST_LOG_CAPTURE_H

// Tests that read what the library logs: the Logger reads its configuration
// from "/etc/vorx/label" and falls back to "/var/log/vorx", so both become
// private tmpfs mounts of the test's own mount namespace first. Every such
// test reads the log through this one fixture, in one line format.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mount_ns.h"
#include "text_files.h"

namespace vorxtest {

constexpr char kLogProperties[] = "/etc/vorx/label/vorx-label-log.properties";
constexpr char kFallbackLog[] = "/var/log/vorx/vorx_label_manager.log";
constexpr char kCapturedLog[] = "/var/log/vorx/captured.log";

// Root at DEBUG into `logFile`, one "[PRIORITY] message" per line, bracketed
// as in the fallback layout. log4cpp keeps one appender per name, so a second
// configuration in one process needs a name of its own.
inline std::string debugProperties(const std::string& logFile, const std::string& appender = "captured")
{
    const std::string a = "log4cpp.appender." + appender;
    return "log4cpp.rootCategory=DEBUG, " + appender + "\n" + a + "=FileAppender\n" + a + ".fileName=" + logFile +
           "\n" + a + ".layout=PatternLayout\n" + a + ".layout.ConversionPattern=[%p] %m%n\n";
}

// The namespace and the two private directories; false with the reason.
inline bool privateLogDirs(std::string* why)
{
    return enterPrivateMountNamespace(why) && privateDir("/etc/vorx/label", why) && privateDir("/var/log/vorx", why);
}

// Once per process, since the Logger is built once per process: the private
// directories and the Logger configured at DEBUG into kCapturedLog. The file
// is writable by everyone, so that a child that dropped its privileges can
// log too. False with the reason.
inline bool captureLog(std::string* why)
{
    static int state = 0;  // 0 not tried, 1 ready, -1 failed
    static std::string reason;
    if (state == 0) {
        state = -1;
        if (privateLogDirs(&reason)) {
            const bool written = writeTextFile(kLogProperties, debugProperties(kCapturedLog));
            const int fd = open(kCapturedLog, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
            const bool shared = fd >= 0 && fchmod(fd, 0666) == 0;
            const bool closed = fd >= 0 && close(fd) == 0;
            if (written && shared && closed)
                state = 1;
            else
                reason = "cannot write the log configuration or the log file";
        }
    }
    if (state < 0 && why) *why = reason;
    return state > 0;
}

// What a log file gains from the tail's construction on; each take() hands
// over what came since the last one. A default tail follows no file.
class LogTail {
public:
    LogTail() = default;
    explicit LogTail(std::string path) : path_(std::move(path)), offset_(readTextFile(path_).size()) {}

    std::string takeText()
    {
        std::string text = readTextFile(path_);
        if (text.size() <= offset_) return std::string();
        text.erase(0, offset_);
        offset_ += text.size();
        return text;
    }

    std::vector<std::string> take()
    {
        std::vector<std::string> lines;
        std::istringstream in(takeText());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    std::string path_;
    size_t offset_ = 0;
};

}  // namespace vorxtest

// In a GoogleTest body or SetUp: skip with the reason when the log cannot be
// captured.
#define VORX_REQUIRE_LOG_CAPTURE() VORX_SKIP_UNLESS(::vorxtest::captureLog, "no private log directories")

namespace vorxtest {

// A test whose utility calls log: the captured log, and `log` to read what
// the test's own calls wrote.
class CapturedLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VORX_REQUIRE_LOG_CAPTURE();
        log = LogTail(kCapturedLog);
    }

    LogTail log;
};

}  // namespace vorxtest

#endif
