#include <vorxlabelmgr/logger.h>

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <log4cpp/Appender.hh>

#include "log_capture.h"
#include "text_files.h"

using vorxtest::kFallbackLog;
using vorxtest::kLogProperties;

namespace {

// What a program started with exec holds beyond its standard streams (one
// of them is the pipe read here): "N -> target" for each descriptor, leaving
// out the listing's own directory.
std::set<std::string> descriptorsOfAnExecedProgram()
{
    std::set<std::string> held;
    FILE* out = popen("exec ls -l /proc/self/fd", "r");
    if (!out) return held;
    char line[4096];
    while (fgets(line, sizeof line, out)) {
        std::string text(line);
        const size_t arrow = text.find(" -> ");
        if (arrow == std::string::npos || text.find(" -> /proc/", arrow) == arrow) continue;
        const size_t number = text.rfind(' ', arrow - 1);
        text.erase(0, number + 1);
        if (std::stoi(text) <= 2) continue;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        held.insert(text);
    }
    pclose(out);
    return held;
}

// The fallback: the child sees no more than it did before the first record,
// also once the file has been reopened after an external rotation.
TEST(FallbackDescriptor, IsNotInheritedAndReopensAfterRotation)
{
    VORX_SKIP_UNLESS(vorxtest::privateLogDirs, "no private mount namespace");
    const std::set<std::string> before = descriptorsOfAnExecedProgram();
    testing::internal::CaptureStdout();
    Logger::getInstance()->error("before rotation");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read log config error.\n");
    EXPECT_EQ(descriptorsOfAnExecedProgram(), before);

    const std::string rotated = std::string(kFallbackLog) + ".1";
    ASSERT_EQ(rename(kFallbackLog, rotated.c_str()), 0);
    EXPECT_TRUE(log4cpp::Appender::reopenAll());
    Logger::getInstance()->error("after rotation");
    EXPECT_EQ(descriptorsOfAnExecedProgram(), before);

    EXPECT_NE(vorxtest::readTextFile(rotated).find("[ERROR] before rotation "), std::string::npos);
    const std::string current = vorxtest::readTextFile(kFallbackLog);
    EXPECT_NE(current.find("[ERROR] after rotation "), std::string::npos);
    EXPECT_EQ(current.find("before rotation"), std::string::npos);
}

// A link planted at the fallback path is not followed: the file it names
// stays as it was, and the link stays a link.
TEST(FallbackDescriptor, ALinkAtTheFallbackPathIsNotFollowed)
{
    VORX_SKIP_UNLESS(vorxtest::privateLogDirs, "no private mount namespace");
    const char target[] = "/var/log/vorx/planted-target";
    ASSERT_TRUE(vorxtest::writeTextFile(target, ""));
    ASSERT_EQ(symlink(target, kFallbackLog), 0);
    testing::internal::CaptureStdout();
    Logger::getInstance()->error("must not reach the link's target");
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(vorxtest::readTextFile(target), "");
    struct stat st;
    ASSERT_EQ(lstat(kFallbackLog, &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// The appenders of the properties file that open descriptors of their own.
struct AppenderCase {
    const char* name;
    const char* lines;  // after "log4cpp.appender.a="
};

const AppenderCase kAppenderCases[] = {
    {"File", "FileAppender\nlog4cpp.appender.a.fileName=/var/log/vorx/a.log\n"},
    // One byte per file: every record rolls over, so the reopened file is
    // checked too.
    {"RollingFile",
     "RollingFileAppender\nlog4cpp.appender.a.fileName=/var/log/vorx/a.log\n"
     "log4cpp.appender.a.maxFileSize=1\nlog4cpp.appender.a.maxBackupIndex=1\n"},
    {"DailyRollingFile", "DailyRollingFileAppender\nlog4cpp.appender.a.fileName=/var/log/vorx/a.log\n"},
    {"RemoteSyslog",
     "SyslogAppender\nlog4cpp.appender.a.syslogName=vorx\nlog4cpp.appender.a.syslogHost=127.0.0.1\n"
     "log4cpp.appender.a.portNumber=9\n"},
};

void PrintTo(const AppenderCase& c, std::ostream* out)
{
    *out << c.name;
}

class ConfiguredDescriptor : public testing::TestWithParam<AppenderCase> {};

TEST_P(ConfiguredDescriptor, IsNotInheritedOnceARecordIsLogged)
{
    VORX_SKIP_UNLESS(vorxtest::privateLogDirs, "no private mount namespace");
    ASSERT_TRUE(vorxtest::writeTextFile(kLogProperties, std::string("log4cpp.rootCategory=DEBUG, a\n"
                                                                    "log4cpp.appender.a=") +
                                                            GetParam().lines +
                                                            "log4cpp.appender.a.layout=PatternLayout\n"
                                                            "log4cpp.appender.a.layout.ConversionPattern=[%p] %m%n\n"));
    const std::set<std::string> before = descriptorsOfAnExecedProgram();
    testing::internal::CaptureStdout();
    Logger::getInstance()->error("first");
    Logger::getInstance()->error("second");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(descriptorsOfAnExecedProgram(), before);
}

INSTANTIATE_TEST_SUITE_P(Appenders, ConfiguredDescriptor, testing::ValuesIn(kAppenderCases),
                         [](const testing::TestParamInfo<AppenderCase>& info) { return std::string(info.param.name); });

}  // namespace
