#include "compat/bounded_copy.h"

#ifndef VORX_HAVE_BOUNDSCHECK

#include <cstring>

namespace {
// libboundscheck's result codes.
constexpr int kOk = 0;
constexpr int kInvalid = 22;
constexpr int kInvalidAndReset = 22 | 128;
constexpr int kRange = 34;
constexpr int kRangeAndReset = 34 | 128;
constexpr int kOverlapAndReset = 54 | 128;
constexpr size_t kStringMax = 0x7fffffffUL;
}  // namespace

extern "C" int strncpy_s(char* dest, size_t destMax, const char* src, size_t count)
{
    if (destMax == 0 || destMax > kStringMax) return kRange;
    if (dest == nullptr) return kInvalid;
    if (src == nullptr || count > kStringMax) {
        dest[0] = '\0';
        return src == nullptr ? kInvalidAndReset : kRangeAndReset;
    }
    size_t len = strnlen(src, count);
    if (len >= destMax) {
        dest[0] = '\0';
        return kRangeAndReset;
    }
    if ((dest <= src && dest + len >= src) || (src < dest && src + len >= dest)) {
        dest[0] = '\0';
        return kOverlapAndReset;
    }
    memcpy(dest, src, len);
    dest[len] = '\0';
    return kOk;
}

#endif
