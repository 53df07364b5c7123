#ifndef VORX_COMPAT_BOUNDED_COPY_H
#define VORX_COMPAT_BOUNDED_COPY_H

#include <cstddef>

#ifdef VORX_HAVE_BOUNDSCHECK
#include <securec.h>
#else
// libboundscheck is not packaged everywhere; this is its strncpy_s contract:
// copies at most count bytes of src and a NUL; when that does not fit in
// destMax bytes, dest[0] becomes NUL and an error code is returned.
extern "C" __attribute__((visibility("hidden"))) int strncpy_s(char* dest, size_t destMax, const char* src,
                                                               size_t count);
#endif

#endif
