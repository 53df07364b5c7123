#include <vorxlabelmgr/logger.h>

#include <cstdarg>
#include <iostream>
#include <memory>
#include <stdexcept>

#include <log4cpp/Category.hh>
#include <log4cpp/FileAppender.hh>
#include <log4cpp/PatternLayout.hh>
#include <log4cpp/Priority.hh>
#include <log4cpp/PropertyConfigurator.hh>

namespace {

const char kPropertiesFile[] = "/etc/vorx/label/vorx-label-log.properties";
const char kFallbackFile[] = "/var/log/vorx/vorx_label_manager.log";
const char kFallbackPattern[] = "%d{%Y-%m-%d %H:%M:%S.%l} %t [%p] %m %n";

}  // namespace

Logger* Logger::getInstance()
{
    static Logger instance;
    return &instance;
}

Logger::Logger() : root(log4cpp::Category::getRoot())
{
    try {
        log4cpp::PropertyConfigurator::configure(kPropertiesFile);
    } catch (const std::runtime_error&) {
        std::cout << "read log config error." << std::endl;
        // unique_ptr so that a throwing layout does not leak the appender.
        auto appender = std::make_unique<log4cpp::FileAppender>("rootAppender", kFallbackFile, true, 0644);
        auto layout = std::make_unique<log4cpp::PatternLayout>();
        layout->setConversionPattern(kFallbackPattern);
        appender->setLayout(layout.release());
        root.setPriority(log4cpp::Priority::INFO);
        root.addAppender(appender.release());
    }
}

Logger::Logger(const std::string& path) : root(log4cpp::Category::getRoot())
{
    log4cpp::PropertyConfigurator::configure(path);
}

Logger::~Logger()
{
    log4cpp::Category::shutdown();
}

#define VORX_LOGGER_OP(name, priority)                         \
    void Logger::name(const char* format, ...)                 \
    {                                                          \
        va_list args;                                          \
        va_start(args, format);                                \
        root.logva(log4cpp::Priority::priority, format, args); \
        va_end(args);                                          \
    }

VORX_LOGGER_OP(debug, DEBUG)
VORX_LOGGER_OP(info, INFO)
VORX_LOGGER_OP(warn, WARN)
VORX_LOGGER_OP(error, ERROR)
VORX_LOGGER_OP(fatal, FATAL)

#undef VORX_LOGGER_OP
