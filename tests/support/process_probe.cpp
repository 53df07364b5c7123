#include "process_probe.h"

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "text_files.h"

namespace vorxtest {

bool processGone(pid_t pid)
{
    if (kill(pid, 0) != 0) return errno == ESRCH;
    const std::string text = readTextFile("/proc/" + std::to_string(pid) + "/stat");
    // The state follows the command name, which may itself hold ')'.
    size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

bool goneWithin(pid_t pid, const std::string& path, int ms)
{
    for (int i = 0; i < ms / 10; ++i) {
        if (processGone(pid) && !fileExists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace vorxtest
