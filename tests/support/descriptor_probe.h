#ifndef VORX_TEST_DESCRIPTOR_PROBE_H
#define VORX_TEST_DESCRIPTOR_PROBE_H

#include <string>
#include <vector>

namespace vorxtest {

// The names in /proc/self/fd with their link targets, sorted; for
// descriptor-leak checks (take it before and after, compare).
std::vector<std::string> openDescriptors();

}  // namespace vorxtest

#endif
