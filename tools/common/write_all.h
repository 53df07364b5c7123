#ifndef VORX_TOOLS_WRITE_ALL_H
#define VORX_TOOLS_WRITE_ALL_H

// The stand-in peer and the tests talk over pipes line by line; a short or
// interrupted write must not cut a line.

#include <unistd.h>

#include <cerrno>
#include <string>

namespace vorxtool {

inline bool writeAll(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace vorxtool

#endif
