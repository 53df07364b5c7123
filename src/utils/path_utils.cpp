#include <vorxlabelmgr/path_utils.h>

#include <dirent.h>
#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <vorxlabelmgr/logger.h>

#include "utils/dir_handle.h"

namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// name under the directory descriptor dirfd as a directory stream, or null.
// A name that is a symbolic link by now is refused, not followed. A path text
// that opendir would refuse as too long is refused too, so the walk ends
// where a walk by path names would end.
vorx::utils::DirHandle openDirAt(int dirfd, const char* name, const std::string& path)
{
    if (path.size() >= PATH_MAX) return nullptr;
    vorx::utils::Descriptor owned(vorx::utils::openRetrying(dirfd, name, O_RDONLY | O_NOFOLLOW | O_DIRECTORY));
    if (owned.get() < 0) return nullptr;
    vorx::utils::DirHandle dir(fdopendir(owned.get()));
    if (dir) owned.release();  // the stream closes it now
    return dir;
}

// Lists the directory that dir reads, whose path text is directory, as
// traverseDirectory does; each subdirectory is opened under dir's own
// descriptor, so a name swapped for a link, here or above, leads nowhere
// outside the tree.
int walk(vorx::utils::DirHandle dir, const std::string& directory, std::vector<std::string>& list)
{
    if (!dir) {
        Logger::getInstance()->warn("Unable to open directory: %s", directory.c_str());
        return -1;
    }
    std::string entryPath(directory);
    entryPath += '/';
    const size_t base = entryPath.size();
    while (const struct dirent* entry = readdir(dir.get())) {
        entryPath.resize(base);
        entryPath += entry->d_name;
        if (entry->d_type != DT_DIR) {
            list.push_back(entryPath);
        } else if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            // The depth is bounded by PATH_MAX: openDirAt refuses longer names.
            list.push_back(entryPath);
            walk(openDirAt(dirfd(dir.get()), entry->d_name, entryPath), entryPath, list);
        }
    }
    return 0;
}

}  // namespace

std::string formatPath(const std::string& path)
{
    size_t len = path.size();
    if (len >= 2 && path[len - 1] == '*' && path[len - 2] == '/') --len;
    std::string out;
    out.reserve(len);
    for (size_t i = 0; i < len; ++i) {
        char c = path[i];
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

int pathIsDir(const char* path)
{
    struct stat st;
    return lstat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

int pathIsLinkFile(const char* path)
{
    struct stat st;
    return lstat(path, &st) == 0 && S_ISLNK(st.st_mode) ? 1 : 0;
}

int pathIsExists(const char* path)
{
    return access(path, F_OK) == 0 ? 0 : -1;
}

int isPartitionReadOnly(const char* path)
{
    struct statvfs st;
    if (statvfs(path, &st) != 0) {
        perror("statfs error");
        return 0;
    }
    return (st.f_flag & ST_RDONLY) ? 1 : 0;
}

std::string getRealPath(const std::string& path)
{
    if (path.empty()) return std::string();
    std::unique_ptr<char, FreeDeleter> resolved(realpath(path.c_str(), nullptr));
    if (!resolved) return std::string();
    return std::string(resolved.get());
}

std::string getLinkRealPath(const std::string& path)
{
    if (path.empty()) return std::string();
    // dirname and basename write into their argument: give each its own copy.
    std::string dirCopy(path.c_str());
    std::string baseCopy(dirCopy);
    std::string dir = getRealPath(dirname(&dirCopy[0]));
    if (dir.empty()) return std::string();
    // The POSIX basename, which ignores trailing slashes ("a/b/" gives "b").
    const char* base = __xpg_basename(&baseCopy[0]);
    std::string out;
    out.reserve(dir.size() + 1 + std::strlen(base));
    out += dir;
    out += '/';
    out += base;
    return out;
}

int traverseDirectory(const std::string& directory, std::vector<std::string>& list)
{
    list.push_back(directory);
    // The top directory is the caller's, links and all: only what lies below
    // it is held to the tree.
    return walk(vorx::utils::DirHandle(opendir(directory.c_str())), directory, list);
}

bool isSubDirectory(const std::string& path, const std::string& directory)
{
    std::string prefix(directory);
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    return path.size() >= prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

std::string getParentDirWithoutWildcard(const std::string& path)
{
    const size_t wildcard = path.find_first_of("*?");
    if (wildcard == std::string::npos) {
        std::string copy(path);
        if (!copy.empty() && copy.back() == '/') copy.pop_back();
        const size_t slash = copy.rfind('/');
        if (slash == 0) return "/";
        if (copy.empty()) return std::string();
        if (slash == std::string::npos) return copy;
        copy.resize(slash);
        return copy;
    }
    const size_t slash = path.rfind('/', wildcard);
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

std::string findFirstExistingParentDir(const std::string& path)
{
    if (path.empty()) return std::string();
    std::string current = path.substr(0, path.find_first_of("*?"));
    for (;;) {
        const size_t slash = current.rfind('/');
        if (slash == std::string::npos) return std::string();
        if (slash == 0) return "/";
        current.resize(slash);
        struct stat st;
        if (stat(current.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return current;
    }
}
