#ifndef VORX_UTILS_CMD_FILE_INTERNAL_H
#define VORX_UTILS_CMD_FILE_INTERNAL_H

#include <string>

// The cores of readFile and writeFile, inside the library only: the file is
// name under the directory descriptor dirfd (openat rules: AT_FDCWD for the
// current directory, ignored for an absolute name), and shown is the path
// that the standard-error lines name. A relative name under a dirfd that is
// not open cannot be opened, and says so like any other such file.
namespace vorx {
namespace utils {

std::string readFileAt(int dirfd, const char* name, const std::string& shown);
bool writeFileAt(int dirfd, const char* name, const std::string& shown, const std::string& data);

}  // namespace utils
}  // namespace vorx

#endif
