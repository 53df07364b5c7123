#ifndef VORX_TEST_CHILD_PROCESS_H
#define VORX_TEST_CHILD_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

// Programs the tests start and talk to over pipes.
namespace vorxtest {

// fork + exec of args[0] (a path) with standard input and output on `in` and
// `out` (-1: /dev/null) and standard error on `err` (-1: this process's own).
// The child's pid, or -1 with the reason.
pid_t spawn(const std::vector<std::string>& args, int in, int out, int err, std::string* why);

// One line from `fd`, without its newline, into `line`; `buffered` keeps what
// was read beyond it. False with the reason when no line came within
// `timeoutMs`, or at the end of the stream.
bool readLine(int fd, std::string* buffered, std::string* line, int timeoutMs, std::string* why);

}  // namespace vorxtest

#endif
