#include "descriptor_probe.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace vorxtest {

std::vector<std::string> openDescriptors()
{
    std::vector<std::string> out;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return out;
    int own = dirfd(d);
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || std::atoi(name.c_str()) == own) continue;
        char target[PATH_MAX];
        ssize_t n = readlinkat(own, name.c_str(), target, sizeof target - 1);
        target[n > 0 ? n : 0] = '\0';
        out.push_back(name + " -> " + target);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace vorxtest
