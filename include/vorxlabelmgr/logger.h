#ifndef VORXLABELMGR_LOGGER_H
#define VORXLABELMGR_LOGGER_H

#ifndef __cplusplus
#error "<vorxlabelmgr/logger.h> declares C++ functions and types: include it from C++"
#endif

#include <string>

#include <vorxlabelmgr/export.h>

namespace log4cpp {
class Category;
}

/*
 * The library's logging facade over log4cpp's root category. One instance per
 * process, built at the first getInstance() from
 * "/etc/vorx/label/vorx-label-log.properties"; when that file cannot be used,
 * "read log config error." goes to standard output and records go to
 * "/var/log/vorx/vorx_label_manager.log" at INFO. The library opens that file
 * itself, never through a symbolic link. The descriptors of the fallback and
 * of the file and remote-syslog appenders that a configuration sets up are
 * close-on-exec once it is done (appenders that no category holds excepted).
 * When the process exits or the library is unloaded, log4cpp is shut down
 * for the whole process; a record logged from then on, from any thread, is
 * dropped. Destroying any Logger also shuts log4cpp down.
 */
class VORX_EXPORT Logger {
public:
    /* The process's instance, built at the first call (thread-safe); never null. */
    static Logger* getInstance();

    /* Configures from the fixed properties file, with the fallback above. */
    Logger();
    /* Configures from the given file; log4cpp's exception reaches the caller. */
    explicit Logger(const std::string& path);
    /* Shuts log4cpp down for the whole process (log4cpp::Category::shutdown),
     * unless the exit step did already. */
    ~Logger();

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    /*
     * printf-style records on the root category at DEBUG, INFO, WARN, ERROR
     * and FATAL; log4cpp drops those below the configured priority, and
     * the library drops every record once log4cpp has been shut down at exit.
     */
    void debug(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void info(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void warn(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void fatal(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    log4cpp::Category& root;
};

#endif
