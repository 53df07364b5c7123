#ifndef VORX_TEST_HEAP_PROBE_H
#define VORX_TEST_HEAP_PROBE_H

#include <cstddef>

namespace vorxtest {

// Bytes the C heap has handed out and not taken back (mallinfo2); for heap
// bounds taken before and after (not under AddressSanitizer's allocator).
size_t heapInUse();

}  // namespace vorxtest

#endif
