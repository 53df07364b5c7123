#ifndef VORX_CLIENT_FILE_FAMILY_H
#define VORX_CLIENT_FILE_FAMILY_H

// The user-set half shared by the four file families (object ids, subject ids,
// tids, inheritance flags): they differ only in their proxy members, which a
// family struct names as `query`, `show`, `del` and `clear`.

#include <cstdint>
#include <iostream>
#include <string>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/labelmgr_proxy.h"
#include "client/user_set.h"

namespace vorx {
namespace client {

// Only -1 is a failure for the file families; any other status is success.
inline int fileStatus(int32_t status)
{
    return status == -1 ? -1 : 0;
}

template <typename Family>
int queryUserSet(const Family& family, const char* path, USER_SET_ITEM** out, int option)
{
    if (path == nullptr || out == nullptr) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        return toUserSetArray((client.*family.query)(std::string(path), option), out);
    });
}

template <typename Family>
int showUserSet(const Family& family, USER_SET_ITEM** out)
{
    if (out == nullptr) return -1;
    return callService(-2, std::cerr,
                       [&](LabelMgrClient& client) { return toUserSetArray((client.*family.show)(), out); });
}

template <typename Family>
int delUserSet(const Family& family, const char* path, int option)
{
    if (path == nullptr) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        return fileStatus((client.*family.del)(std::string(path), option));
    });
}

template <typename Family>
int clearUserSet(const Family& family)
{
    return callService(-2, std::cerr, [&](LabelMgrClient& client) { return fileStatus((client.*family.clear)()); });
}

}  // namespace client
}  // namespace vorx

#endif
