#ifndef VORX_UTILS_DIR_HANDLE_H
#define VORX_UTILS_DIR_HANDLE_H

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace vorx {
namespace utils {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// An open directory stream, closed on every way out.
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// An open descriptor (or -1), closed on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }

    // Hands the descriptor over (to fdopendir, say); -1 is left behind.
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

    // Closes now; false when the kernel reports that the data did not make it.
    // EINTR still releases the descriptor on Linux, so it is not retried.
    bool close() { return ::close(release()) == 0 || errno == EINTR; }

private:
    int fd_;
};

// openat(2), always close-on-exec, retried when a signal interrupts it.
inline int openRetrying(int dirfd, const char* name, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::openat(dirfd, name, flags | O_CLOEXEC, mode);
    } while (fd == -1 && errno == EINTR);
    return fd;
}

}  // namespace utils
}  // namespace vorx

#endif
