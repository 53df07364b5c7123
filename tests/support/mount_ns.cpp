#include "mount_ns.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vorxtest {
namespace {

bool fail(std::string* why, const std::string& what)
{
    if (why) *why = what + ": " + std::strerror(errno);
    return false;
}

bool exists(const std::string& p)
{
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

std::string parentOf(const std::string& p)
{
    size_t slash = p.find_last_of('/');
    return slash == 0 ? "/" : p.substr(0, slash);
}

// A fresh tmpfs over /tmp, with the host's directories under /tmp bound back
// in: a checkout or build tree below /tmp must stay reachable, while files
// made at fixed places such as "/tmp/vorx_label_manager.socket" stay private.
bool freshTmp(std::string* why)
{
    int old = open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (old < 0) return fail(why, "opening /tmp");
    std::vector<std::string> dirs;
    if (DIR* d = fdopendir(dup(old))) {
        while (struct dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != ".." && e->d_type == DT_DIR) dirs.push_back(name);
        }
        closedir(d);
    }
    bool ok = mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") == 0 || fail(why, "tmpfs over /tmp");
    // Other tests make and remove their own directories under the host's
    // /tmp meanwhile: one that is gone by now is simply not bound.
    for (size_t i = 0; ok && i < dirs.size(); ++i) {
        std::string from = "/proc/self/fd/" + std::to_string(old) + "/" + dirs[i];
        std::string to = "/tmp/" + dirs[i];
        if (mkdir(to.c_str(), 0755) != 0) continue;
        if (mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) rmdir(to.c_str());
    }
    close(old);
    return ok;
}

}  // namespace

bool enterPrivateMountNamespace(std::string* why)
{
    static int state = 0;  // 0 not tried, 1 inside, -1 failed
    static std::string reason;
    if (state == 0) {
        if (geteuid() != 0) {
            reason = "not running as root";
            state = -1;
        } else if (unshare(CLONE_NEWNS) != 0) {
            fail(&reason, "unshare(CLONE_NEWNS)");
            state = -1;
        } else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            fail(&reason, "making / private");
            state = -1;
        } else if (!freshTmp(&reason)) {
            state = -1;
        } else {
            state = 1;
        }
    }
    if (state < 0 && why) *why = reason;
    return state > 0;
}

bool privateDir(const std::string& path, std::string* why)
{
    if (!enterPrivateMountNamespace(why)) return false;
    if (!exists(path)) {
        std::string ancestor = parentOf(path);
        while (!exists(ancestor)) ancestor = parentOf(ancestor);
        // /tmp is already this namespace's own tmpfs.
        bool inTmp = ancestor == "/tmp" || ancestor.rfind("/tmp/", 0) == 0;
        if (inTmp) {
            if (!makeDirs(path)) return fail(why, "creating " + path);
            return mount("tmpfs", path.c_str(), "tmpfs", 0, "mode=0755") == 0 || fail(why, "tmpfs over " + path);
        }
        static int stageCount = 0;
        std::string stage = "/tmp/.vorx-stage-" + std::to_string(getpid()) + "-" + std::to_string(stageCount++);
        if (!makeDirs(stage + "/upper") || !makeDirs(stage + "/work")) return fail(why, "staging " + stage);
        std::string opts = "lowerdir=" + ancestor + ",upperdir=" + stage + "/upper,workdir=" + stage + "/work";
        if (mount("overlay", ancestor.c_str(), "overlay", 0, opts.c_str()) != 0)
            return fail(why, "overlay over " + ancestor);
        if (!makeDirs(path)) return fail(why, "creating " + path);
    }
    if (mount("tmpfs", path.c_str(), "tmpfs", 0, "mode=0755") != 0) return fail(why, "tmpfs over " + path);
    return true;
}

bool makeDirs(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            if (mkdir(path.substr(0, pos).c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

}  // namespace vorxtest
