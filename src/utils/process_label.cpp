#include <vorxlabelmgr/process_label.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <vorxlabelmgr/file_label.h>
#include <vorxlabelmgr/label_context.h>
#include <vorxlabelmgr/logger.h>

#include "utils/cmd_file_internal.h"
#include "utils/dir_handle.h"
#include "utils/id_text.h"
#include "utils/process_label_internal.h"

namespace {

constexpr size_t kPathSize = 4096;
// Field 0 is replaced, fields 1 to 4 are carried over.
constexpr size_t kLabelFields = 5;
// The label file, under the process's own "/proc" directory.
constexpr char kLabelFile[] = "attr/vorx/current";

// The id of a "/proc" entry name made of decimal digits only; false for any
// other name and for a value that does not fit an int.
bool parsePid(const char* name, int* pid)
{
    if (*name == '\0') return false;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
    }
    errno = 0;
    char* end = nullptr;
    long value = strtol(name, &end, 10);
    if (errno != 0 || *end != '\0' || value > INT_MAX) return false;
    *pid = static_cast<int>(value);
    return true;
}

// "/proc/<pid>" as a directory descriptor, or -1. It stays bound to the
// process it was opened for: once that process has ended, nothing below it
// opens any more, even when its pid is given to another process.
int openProcessDir(int pid)
{
    const std::string dir = "/proc/" + std::to_string(pid);
    return vorx::utils::openRetrying(AT_FDCWD, dir.c_str(), O_RDONLY | O_DIRECTORY);
}

// True when the process behind procDir runs the very file exe describes (its
// "exe" link followed to the file itself, whatever path text the link shows
// in this mount namespace); otherwise one line says the process is skipped.
bool runsExecutable(int procDir, const struct stat& exe, const std::string& exePath, int pid)
{
    struct stat st;
    if (fstatat(procDir, "exe", &st, 0) == 0 && st.st_dev == exe.st_dev && st.st_ino == exe.st_ino) return true;
    Logger::getInstance()->warn("update the label of the running process %s[%d] skipped: it does not run that file",
                                exePath.c_str(), pid);
    return false;
}

}  // namespace

namespace vorx {
namespace utils {

std::string getProcessExePath(int pid)
{
    char path[kPathSize] = {};
    char target[kPathSize] = {};
    int len = snprintf(path, sizeof path, "/proc/%d/exe", pid);
    if (len < 0 || static_cast<size_t>(len) >= sizeof path) return std::string();
    ssize_t got = readlink(path, target, sizeof target);
    // A target that fills the buffer may have been cut: no answer is better.
    if (got <= 0 || got > static_cast<ssize_t>(sizeof target - 1)) return std::string();
    return std::string(target, static_cast<size_t>(got));
}

void parseString(const std::string& s, std::vector<std::string>& out, char delim)
{
    if (s.empty()) {
        Logger::getInstance()->error("parseString : input empty...");
        return;
    }
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(delim, start);
        if (end == std::string::npos) end = s.size();
        if (end > start) out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace utils
}  // namespace vorx

using vorx::utils::getProcessExePath;
using vorx::utils::parseString;

std::map<std::string, std::vector<int>> findProcessExeFile()
{
    std::map<std::string, std::vector<int>> table;
    vorx::utils::DirHandle dir(opendir("/proc"));
    if (!dir) {
        Logger::getInstance()->error("find process exe file error: open /proc failed...");
        return table;
    }
    while (const struct dirent* entry = readdir(dir.get())) {
        int pid;
        if (entry->d_type != DT_DIR || !parsePid(entry->d_name, &pid)) continue;
        std::string exe = getProcessExePath(pid);
        if (!exe.empty()) table[exe].push_back(pid);
    }
    return table;
}

int updateProcessAttr(const std::vector<int>& pids, const std::string& exePath)
{
    vorx_id_t sid = {};
    // The file whose label is read is the one the processes must run.
    struct stat exe;
    if (getFileSidFromXattr(exePath.c_str(), sid, 1) != 0 || stat(exePath.c_str(), &exe) != 0) {
        Logger::getInstance()->error("update the label of a running process error: process exe file %s",
                                     exePath.c_str());
        return -1;
    }
    const std::string newField0 = vorx::utils::idText(sid);

    int result = 0;
    for (int pid : pids) {
        const std::string path = "/proc/" + std::to_string(pid) + "/" + kLabelFile;
        // The check, the read and the write all go through this one handle.
        vorx::utils::Descriptor dir(openProcessDir(pid));
        // A process that has gone cannot show its directory: its label file
        // then says on standard error that it cannot be opened.
        if (dir.get() >= 0 && !runsExecutable(dir.get(), exe, exePath, pid)) continue;
        const std::string current = vorx::utils::readFileAt(dir.get(), kLabelFile, path);
        if (current.empty()) continue;  // gone, or nothing to rewrite
        Logger::getInstance()->info("update the label of the running process %s[%d], attr current value: %s",
                                    exePath.c_str(), pid, current.c_str());

        std::vector<std::string> fields;
        parseString(current, fields, ':');
        if (fields.empty()) {
            Logger::getInstance()->error("update the label of a running process error: attr current value: is nullptr");
            continue;
        }
        if (fields.size() < kLabelFields) {
            // Fields 1 to 4 are not there to carry over; guessing them could
            // give the process a label nobody asked for.
            Logger::getInstance()->error(
                "update the label of the running process %s[%d] error: attr current value has %zu fields, %zu needed",
                exePath.c_str(), pid, fields.size(), kLabelFields);
            result = -1;
            continue;
        }

        std::string label = newField0;
        for (size_t i = 1; i < kLabelFields; ++i) label += ":" + fields[i];

        Logger::getInstance()->debug("update the label of the running process, attr current path: %s", path.c_str());
        Logger::getInstance()->info("update the label of the running process %s[%d], new processattr: %s",
                                    exePath.c_str(), pid, label.c_str());
        // Once more just before the write: the process may have run another
        // program since the first look.
        if (!runsExecutable(dir.get(), exe, exePath, pid)) continue;
        if (!vorx::utils::writeFileAt(dir.get(), kLabelFile, path, label)) {
            Logger::getInstance()->error("update the label of the running process %s[%d]: write process attr failed!",
                                         exePath.c_str(), pid);
            result = -1;
        }
    }
    return result;
}
