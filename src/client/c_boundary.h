#ifndef VORX_CLIENT_C_BOUNDARY_H
#define VORX_CLIENT_C_BOUNDARY_H

#include <new>

namespace vorx {
namespace client {

// A C caller cannot handle an exception: what the call frame lets through
// (in practice only a failed allocation) becomes `failCode` here.
template <typename Body>
int cBoundary(int failCode, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failCode;
    }
}

}  // namespace client
}  // namespace vorx

#endif
