#include "heap_probe.h"

#include <malloc.h>

namespace vorxtest {

size_t heapInUse()
{
    struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

}  // namespace vorxtest
