#include <vorxlabelmgr/logger.h>

#include <sys/stat.h>

#include <cctype>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <log4cpp/Category.hh>
#include <log4cpp/Priority.hh>

#include "log_capture.h"
#include "text_files.h"

using testing::ElementsAre;
using testing::IsEmpty;
using vorxtest::kCapturedLog;
using vorxtest::kFallbackLog;
using vorxtest::kLogProperties;
using vorxtest::LogTail;

namespace {

// Every priority and a few formats, the same in each scenario.
void logOneOfEach(Logger* logger)
{
    logger->debug("debug %d", 7);
    logger->info("info %s", "two");
    logger->warn("warn %05.1f", 2.5);
    logger->error("plain error, no conversions");
    logger->fatal("fatal %c%c", 'o', 'k');
}

// "YYYY-MM-DD hh:mm:ss.mmm <thread id> " followed by `rest`, exactly.
bool isFallbackLine(const std::string& line, const std::string& rest)
{
    const std::string stamp = "####-##-## ##:##:##.### ";
    if (line.size() < stamp.size()) return false;
    for (size_t i = 0; i < stamp.size(); ++i) {
        bool digit = isdigit(static_cast<unsigned char>(line[i])) != 0;
        if (stamp[i] == '#' ? !digit : line[i] != stamp[i]) return false;
    }
    size_t p = stamp.size();
    const size_t threadStart = p;
    while (p < line.size() && isdigit(static_cast<unsigned char>(line[p]))) ++p;
    return p > threadStart && line.compare(p, std::string::npos, " " + rest) == 0;
}

using ConfiguredLogger = vorxtest::CapturedLogTest;

TEST_F(ConfiguredLogger, TheFileRulesAndNothingIsAdded)
{
    testing::internal::CaptureStdout();
    Logger* logger = Logger::getInstance();
    logOneOfEach(logger);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    EXPECT_THAT(log.take(), ElementsAre("[DEBUG] debug 7", "[INFO] info two", "[WARN] warn 002.5",
                                        "[ERROR] plain error, no conversions", "[FATAL] fatal ok"));
    EXPECT_EQ(log4cpp::Category::getRoot().getAppender("rootAppender"), nullptr);
    EXPECT_FALSE(vorxtest::fileExists(kFallbackLog));
}

TEST_F(ConfiguredLogger, LaterCallsReturnTheSameInstanceWithoutRereading)
{
    Logger* first = Logger::getInstance();
    first->info("before");
    // A changed or vanished file must not matter once the instance exists.
    ASSERT_TRUE(vorxtest::writeTextFile(kLogProperties, vorxtest::debugProperties("/var/log/vorx/other.log")));
    testing::internal::CaptureStdout();
    EXPECT_EQ(Logger::getInstance(), first);
    ASSERT_EQ(unlink(kLogProperties), 0);
    EXPECT_EQ(Logger::getInstance(), first);
    Logger::getInstance()->info("after");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    EXPECT_THAT(log.take(), ElementsAre("[INFO] before", "[INFO] after"));
    EXPECT_FALSE(vorxtest::fileExists("/var/log/vorx/other.log"));
}

TEST_F(ConfiguredLogger, PathConstructorLetsConfigureFailuresThrough)
{
    EXPECT_THROW(Logger("/etc/vorx/label/missing.properties"), std::runtime_error);
    ASSERT_TRUE(
        vorxtest::writeTextFile("/etc/vorx/label/bad.properties", "log4cpp.rootCategory=DEBUG, nosuchappender\n"));
    EXPECT_THROW(Logger("/etc/vorx/label/bad.properties"), std::runtime_error);
}

TEST_F(ConfiguredLogger, DestroyingAnyLoggerShutsLog4cppDownForTheProcess)
{
    Logger::getInstance()->error("library instance");
    const std::string otherLog = "/var/log/vorx/other.log";
    const std::string otherProperties = "/etc/vorx/label/other.properties";
    ASSERT_TRUE(vorxtest::writeTextFile(otherProperties, vorxtest::debugProperties(otherLog, "other")));
    LogTail other(otherLog);
    {
        Logger own(otherProperties);
        own.info("own instance");
    }
    Logger::getInstance()->error("after shutdown");

    EXPECT_THAT(log.take(), ElementsAre("[ERROR] library instance"));
    EXPECT_THAT(other.take(), ElementsAre("[INFO] own instance"));
}

// The shipped sample configures cleanly and logs as the fallback would.
TEST(SampleProperties, ConfiguresCleanlyAndLogsLikeTheFallback)
{
    VORX_SKIP_UNLESS(vorxtest::privateLogDirs, "no private mount namespace");
    ASSERT_TRUE(vorxtest::writeTextFile(kLogProperties, vorxtest::readTextFile(VORX_SAMPLE_PROPERTIES)));
    LogTail logged(kFallbackLog);
    testing::internal::CaptureStdout();
    logOneOfEach(Logger::getInstance());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(log4cpp::Category::getRoot().getAppender("rootAppender"), nullptr);
    EXPECT_EQ(log4cpp::Category::getRoot().getPriority(), log4cpp::Priority::INFO);

    std::vector<std::string> lines = logged.take();
    const char* expected[] = {"[INFO] info two ", "[WARN] warn 002.5 ", "[ERROR] plain error, no conversions ",
                              "[FATAL] fatal ok "};
    ASSERT_EQ(lines.size(), 4u);
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(isFallbackLine(lines[i], expected[i])) << '"' << lines[i] << '"';
}

// The fallback, when the properties file cannot be used. The first use of the
// Logger in each process decides, so every case is a process of its own.
enum class BadConfig { missing, unknownAppender, unknownAppenderClass, unknownLayout };

const char* name(BadConfig config)
{
    switch (config) {
    case BadConfig::missing:
        return "Missing";
    case BadConfig::unknownAppender:
        return "UnknownAppender";
    case BadConfig::unknownAppenderClass:
        return "UnknownAppenderClass";
    case BadConfig::unknownLayout:
        return "UnknownLayout";
    }
    return "Unknown";
}

void PrintTo(BadConfig config, std::ostream* out)
{
    *out << name(config);
}

class FallbackLogger : public testing::TestWithParam<BadConfig> {
protected:
    void SetUp() override
    {
        VORX_SKIP_UNLESS(vorxtest::privateLogDirs, "no private mount namespace");
        const char* text = nullptr;
        switch (GetParam()) {
        case BadConfig::missing:
            return;
        case BadConfig::unknownAppender:
            text = "log4cpp.rootCategory=DEBUG, nosuchappender\n";
            break;
        case BadConfig::unknownAppenderClass:
            text =
                "log4cpp.rootCategory=DEBUG, a\n"
                "log4cpp.appender.a=NoSuchAppender\n";
            break;
        case BadConfig::unknownLayout:
            text =
                "log4cpp.rootCategory=DEBUG, a\n"
                "log4cpp.appender.a=FileAppender\n"
                "log4cpp.appender.a.fileName=/var/log/vorx/a.log\n"
                "log4cpp.appender.a.layout=NoSuchLayout\n";
            break;
        }
        ASSERT_TRUE(vorxtest::writeTextFile(kLogProperties, text));
    }
};

TEST_P(FallbackLogger, WritesPatternLinesAtInfoIntoTheFixedFile)
{
    umask(0);  // so that the mode seen is the one the appender asks for
    LogTail fallback(kFallbackLog);
    testing::internal::CaptureStdout();
    Logger* logger = Logger::getInstance();
    logOneOfEach(logger);
    EXPECT_EQ(Logger::getInstance(), logger);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read log config error.\n");

    log4cpp::Category& root = log4cpp::Category::getRoot();
    EXPECT_EQ(root.getPriority(), log4cpp::Priority::INFO);
    EXPECT_NE(root.getAppender("rootAppender"), nullptr);

    struct stat st;
    ASSERT_EQ(stat(kFallbackLog, &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    std::vector<std::string> lines = fallback.take();
    ASSERT_EQ(lines.size(), 4u);
    // Every line ends with a blank before its line end.
    const char* expected[] = {"[INFO] info two ", "[WARN] warn 002.5 ", "[ERROR] plain error, no conversions ",
                              "[FATAL] fatal ok "};
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(isFallbackLine(lines[i], expected[i])) << '"' << lines[i] << '"';
}

INSTANTIATE_TEST_SUITE_P(BadConfigs, FallbackLogger,
                         testing::Values(BadConfig::missing, BadConfig::unknownAppender,
                                         BadConfig::unknownAppenderClass, BadConfig::unknownLayout),
                         [](const testing::TestParamInfo<BadConfig>& info) { return std::string(name(info.param)); });

TEST(FallbackLoggerFirstUse, ConcurrentFirstCallsBuildOneInstance)
{
    VORX_SKIP_UNLESS(vorxtest::privateLogDirs, "no private mount namespace");
    testing::internal::CaptureStdout();
    std::vector<Logger*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = Logger::getInstance(); });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read log config error.\n");
    for (Logger* p : seen) EXPECT_EQ(p, seen[0]);
}

TEST(FallbackLoggerFirstUse, UnwritableFallbackFileIsNotAnError)
{
    std::string why;
    if (!vorxtest::enterPrivateMountNamespace(&why) || !vorxtest::privateDir("/etc/vorx/label", &why) ||
        !vorxtest::privateDir("/var/log", &why))
        GTEST_SKIP() << "no private mount namespace: " << why;
    // "/var/log/vorx" does not exist here, so the appender cannot open its file.
    testing::internal::CaptureStdout();
    Logger::getInstance()->error("goes nowhere");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read log config error.\n");
    EXPECT_FALSE(vorxtest::fileExists(kFallbackLog));
}

}  // namespace
