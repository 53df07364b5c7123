#include <vorxlabelmgr/logger.h>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <vector>

#include <log4cpp/Appender.hh>
#include <log4cpp/Category.hh>
#include <log4cpp/FileAppender.hh>
#include <log4cpp/PatternLayout.hh>
#include <log4cpp/Priority.hh>
#include <log4cpp/PropertyConfigurator.hh>
#include <log4cpp/RemoteSyslogAppender.hh>

namespace {

const char kPropertiesFile[] = "/etc/vorx/label/vorx-label-log.properties";
const char kFallbackFile[] = "/var/log/vorx/vorx_label_manager.log";
const char kFallbackPattern[] = "%d{%Y-%m-%d %H:%M:%S.%l} %t [%p] %m %n";

// Records take it shared, the shutdown exclusively. Writers first, so that a
// stream of records from many threads cannot hold the exit step off.
// Constant-initialised, so nothing runs at load time.
pthread_rwlock_t shutdownLock = PTHREAD_RWLOCK_WRITER_NONRECURSIVE_INITIALIZER_NP;
// Set under shutdownLock: once set, log4cpp may already be torn down, and
// nothing of the library goes near it.
std::atomic<bool> shutDown{false};
// Under shutdownLock: the library's instance exists, so the exit step shuts
// log4cpp down.
bool instanceBuilt = false;

// The threads that held the lock at fork() do not exist in the child: the
// child starts from a fresh, unlocked one.
void freshLockInChild()
{
    shutdownLock = PTHREAD_RWLOCK_WRITER_NONRECURSIVE_INITIALIZER_NP;
}

// Holds shutdownLock: shared for a record, exclusive for the shutdown.
template <int (*Take)(pthread_rwlock_t*)>
class ShutdownHold {
public:
    ShutdownHold() : held_(Take(&shutdownLock) == 0) {}
    ~ShutdownHold()
    {
        if (held_) pthread_rwlock_unlock(&shutdownLock);
    }
    ShutdownHold(const ShutdownHold&) = delete;
    ShutdownHold& operator=(const ShutdownHold&) = delete;
    bool live() const { return held_ && !shutDown; }

private:
    bool held_;
};
using SharedHold = ShutdownHold<pthread_rwlock_rdlock>;
using ExclusiveHold = ShutdownHold<pthread_rwlock_wrlock>;

// Runs when the process exits or the library is unloaded. It was registered
// after log4cpp built its category registry, so it runs before that registry
// is destroyed; a record waiting for the lock then finds shutDown set.
void shutDownAtExit()
{
    ExclusiveHold hold;
    if (!shutDown && instanceBuilt) log4cpp::Category::shutdown();
    shutDown = true;
}

int openFallbackFile()
{
    int fd;
    do fd = ::open(kFallbackFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// The fallback file, opened by the library: never through a link planted in
// the log directory, never inherited by a child. log4cpp's appender owns the
// descriptor and closes it.
class FallbackAppender : public log4cpp::FileAppender {
public:
    explicit FallbackAppender(int fd) : FileAppender("rootAppender", fd) {}

    // log4cpp does nothing here for a descriptor it was handed; reopen the
    // file after an external rotation as it would for a named one. The
    // number stays, so a record in flight never writes to a closed or reused
    // descriptor.
    bool reopen() override
    {
        const int fd = openFallbackFile();
        if (fd < 0) return false;
        if (_fd < 0) {
            _fd = fd;
            return true;
        }
        int moved;
        do moved = dup3(fd, _fd, O_CLOEXEC);
        while (moved < 0 && errno == EINTR);
        ::close(fd);
        return moved >= 0;
    }
};

std::unique_ptr<log4cpp::FileAppender> makeFallbackAppender()
{
    const int fd = openFallbackFile();
    try {
        return std::make_unique<FallbackAppender>(fd);
    } catch (...) {
        // The appender never took the descriptor over.
        if (fd >= 0) ::close(fd);
        throw;
    }
}

// log4cpp has no accessor for an appender's descriptor; the ones it opens
// are the members its header gives subclasses. A pointer to a member named
// through a subclass reaches them on any appender of that class.
class FileAppenderMembers : public log4cpp::FileAppender {
public:
    using Member = int log4cpp::FileAppender::*;
    static Member fd() { return &FileAppenderMembers::_fd; }
    // What reopen() and a rolling appender's roll-over open the file with.
    static Member flags() { return &FileAppenderMembers::_flags; }
};

class RemoteSyslogMembers : public log4cpp::RemoteSyslogAppender {
public:
    using Member = int log4cpp::RemoteSyslogAppender::*;
    static Member socket() { return &RemoteSyslogMembers::_socket; }
};

void markCloseOnExec(int fd)
{
    if (fd < 0) return;
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

// Console appenders write to the standard streams and a local syslog
// appender goes through the C library's socket, which is close-on-exec
// already; the appenders that open descriptors of their own are these.
void keepFromChildren(log4cpp::Appender* appender)
{
    if (auto* file = dynamic_cast<log4cpp::FileAppender*>(appender)) {
        file->*FileAppenderMembers::flags() |= O_CLOEXEC;
        markCloseOnExec(file->*FileAppenderMembers::fd());
    } else if (auto* remote = dynamic_cast<log4cpp::RemoteSyslogAppender*>(appender)) {
        markCloseOnExec(remote->*RemoteSyslogMembers::socket());
    }
}

using AppenderSet = std::set<log4cpp::Appender*>;

// Every appender a category holds: the ones a record can reach.
AppenderSet categoryAppenders()
{
    AppenderSet all;
    std::unique_ptr<std::vector<log4cpp::Category*>> categories(log4cpp::Category::getCurrentCategories());
    for (log4cpp::Category* category : *categories) {
        const log4cpp::AppenderSet held = category->getAllAppenders();
        all.insert(held.begin(), held.end());
    }
    return all;
}

// Configures log4cpp, then keeps the descriptors of the appenders the
// configuration set up (not those the host program had before) from every
// program the process execs later.
class ConfigurationScope {
public:
    ConfigurationScope() : before_(categoryAppenders()) {}
    ~ConfigurationScope()
    {
        try {
            for (log4cpp::Appender* appender : categoryAppenders())
                if (before_.count(appender) == 0) keepFromChildren(appender);
        } catch (...) {
            // Out of memory while listing: the descriptors stay as log4cpp
            // opened them.
        }
    }
    ConfigurationScope(const ConfigurationScope&) = delete;
    ConfigurationScope& operator=(const ConfigurationScope&) = delete;

private:
    const AppenderSet before_;
};

// Never destroyed: a thread may still log while the process exits.
alignas(Logger) unsigned char instanceStorage[sizeof(Logger)];

Logger* buildInstance()
{
    // The category registry is built first, so the exit step registered next
    // runs before it is torn down.
    log4cpp::Category::getRoot();
    static const bool registered =
        atexit(shutDownAtExit) == 0 && pthread_atfork(nullptr, nullptr, freshLockInChild) == 0;
    (void)registered;
    // Exclusive, so that an exit during the construction waits for it.
    ExclusiveHold hold;
    Logger* instance = new (instanceStorage) Logger();
    instanceBuilt = true;
    return instance;
}

}  // namespace

Logger* Logger::getInstance()
{
    static Logger* const instance = buildInstance();
    return instance;
}

Logger::Logger() : root(log4cpp::Category::getRoot())
{
    // A first use that lost the race with exit() configures nothing.
    if (shutDown) return;
    ConfigurationScope scope;
    try {
        log4cpp::PropertyConfigurator::configure(kPropertiesFile);
    } catch (const std::runtime_error&) {
        // One unformatted write, whole beside other threads' output.
        static const char line[] = "read log config error.\n";
        std::cout.write(line, sizeof line - 1);
        std::cout.flush();
        // unique_ptr so that a throwing layout does not leak the appender.
        std::unique_ptr<log4cpp::FileAppender> appender = makeFallbackAppender();
        auto layout = std::make_unique<log4cpp::PatternLayout>();
        layout->setConversionPattern(kFallbackPattern);
        appender->setLayout(layout.release());
        root.setPriority(log4cpp::Priority::INFO);
        root.addAppender(appender.release());
    }
}

Logger::Logger(const std::string& path) : root(log4cpp::Category::getRoot())
{
    ConfigurationScope scope;
    log4cpp::PropertyConfigurator::configure(path);
}

Logger::~Logger()
{
    ExclusiveHold hold;
    // After the exit step log4cpp may be gone already.
    if (!shutDown) log4cpp::Category::shutdown();
}

#define VORX_LOGGER_OP(name, priority)                         \
    void Logger::name(const char* format, ...)                 \
    {                                                          \
        SharedHold hold;                                       \
        if (!hold.live()) return;                              \
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
