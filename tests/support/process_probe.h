#ifndef VORX_TEST_PROCESS_PROBE_H
#define VORX_TEST_PROCESS_PROBE_H

#include <sys/types.h>

#include <string>

namespace vorxtest {

// Whether `pid` has ended: no such process, or a zombie waiting for its
// reaper. False also when it exists but cannot be signalled.
bool processGone(pid_t pid);

// Whether, within `ms`, `pid` has ended and `path` (a directory it was to
// remove, or one removed on its end) no longer exists.
bool goneWithin(pid_t pid, const std::string& path, int ms);

}  // namespace vorxtest

#endif
