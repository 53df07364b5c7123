#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vorxtest {

namespace {

std::string errnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

pid_t spawn(const std::vector<std::string>& args, int in, int out, int err, std::string* why)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devnull < 0) {
        *why = errnoText("open /dev/null");
        return -1;
    }
    pid_t pid = fork();
    if (pid < 0) {
        *why = errnoText("fork");
        close(devnull);
        return -1;
    }
    if (pid == 0) {
        if (dup2(in >= 0 ? in : devnull, 0) < 0 || dup2(out >= 0 ? out : devnull, 1) < 0 ||
            (err >= 0 && dup2(err, 2) < 0))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(devnull);
    return pid;
}

bool readLine(int fd, std::string* buffered, std::string* line, int timeoutMs, std::string* why)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t nl = buffered->find('\n');
        if (nl != std::string::npos) {
            *line = buffered->substr(0, nl);
            buffered->erase(0, nl + 1);
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            *why = "no answer within " + std::to_string(timeoutMs) + " ms";
            return false;
        }
        struct pollfd p = {fd, POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = errnoText("poll");
            return false;
        }
        if (n == 0) continue;
        char buf[4096];
        ssize_t got = read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *why = errnoText("read");
            return false;
        }
        if (got == 0) {
            *why = "the other side closed its end";
            return false;
        }
        buffered->append(buf, static_cast<size_t>(got));
    }
}

}  // namespace vorxtest
