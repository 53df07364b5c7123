#ifndef VORX_UTILS_DIR_HANDLE_H
#define VORX_UTILS_DIR_HANDLE_H

#include <dirent.h>

#include <memory>

namespace vorx {
namespace utils {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// An open directory stream, closed on every way out.
using DirHandle = std::unique_ptr<DIR, DirCloser>;

}  // namespace utils
}  // namespace vorx

#endif
