#ifndef VORX_TEST_LOG_CAPTURE_H
#define VORX_TEST_LOG_CAPTURE_H

// Tests that read what the library logs: the Logger reads its configuration
// from "/etc/vorx/label" and falls back to "/var/log/vorx", so both become
// private tmpfs mounts of the test's own mount namespace first.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mount_ns.h"

namespace vorxtest {

constexpr char kLogProperties[] = "/etc/vorx/label/vorx-label-log.properties";
constexpr char kFallbackLog[] = "/var/log/vorx/vorx_label_manager.log";
constexpr char kCapturedLog[] = "/var/log/vorx/captured.log";

// Root at DEBUG into `logFile`, one "PRIORITY message" per line unless told
// otherwise. log4cpp keeps one appender per name, so a second configuration in
// one process needs a name of its own.
inline std::string debugProperties(const std::string& logFile, const std::string& appender = "captured",
                                   const std::string& pattern = "%p %m%n")
{
    const std::string a = "log4cpp.appender." + appender;
    return "log4cpp.rootCategory=DEBUG, " + appender + "\n" +
           a + "=FileAppender\n" +
           a + ".fileName=" + logFile + "\n" +
           a + ".layout=PatternLayout\n" +
           a + ".layout.ConversionPattern=" + pattern + "\n";
}

inline bool writeTextFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

inline std::string readTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The namespace and the two private directories; false with the reason.
inline bool privateLogDirs(std::string* why)
{
    return enterPrivateMountNamespace(why) && privateDir("/etc/vorx/label", why) &&
           privateDir("/var/log/vorx", why);
}

// The lines a log file gained since the last take().
class LogTail {
public:
    explicit LogTail(std::string path) : path_(std::move(path)) {}

    std::vector<std::string> take()
    {
        std::string text = readTextFile(path_);
        std::vector<std::string> lines;
        if (text.size() <= offset_)
            return lines;
        std::istringstream in(text.substr(offset_));
        offset_ = text.size();
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    std::string path_;
    size_t offset_ = 0;
};

// A test whose utility calls log: private directories, the Logger configured
// at DEBUG into kCapturedLog, and `log` to read what was written.
class CapturedLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        if (!privateLogDirs(&why))
            GTEST_SKIP() << "no private mount namespace: " << why;
        ASSERT_TRUE(writeTextFile(kLogProperties, debugProperties(kCapturedLog)));
    }

    LogTail log{kCapturedLog};
};

}  // namespace vorxtest

#endif
