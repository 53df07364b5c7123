#ifndef VORX_UTILS_PROCESS_LABEL_INTERNAL_H
#define VORX_UTILS_PROCESS_LABEL_INTERNAL_H

#include <string>
#include <vector>

// Helpers of the process relabelling, inside the library only.
namespace vorx {
namespace utils {

// The target of "/proc/<pid>/exe"; empty when it cannot be read or fills the
// whole 4096-byte buffer (it may have been cut).
std::string getProcessExePath(int pid);

// Appends the non-empty delim-separated tokens of s to out. An empty s is
// logged at Logger::error and leaves out alone.
void parseString(const std::string& s, std::vector<std::string>& out, char delim);

}  // namespace utils
}  // namespace vorx

#endif
