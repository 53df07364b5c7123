// Tids and inheritance flags of files: one implementation, the twin families
// differ in their proxy members and in whether a value of 0 may be set.
#include <cstdint>
#include <iostream>
#include <string>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/labelmgr_proxy.h"
#include "client/file_family.h"
#include "client/user_set.h"

using vorx::client::callService;
using vorx::client::clearUserSet;
using vorx::client::delUserSet;
using vorx::client::fileStatus;
using vorx::client::queryUserSet;
using vorx::client::showUserSet;

namespace {

using Proxy = com::tarne::vorx::labelmgr_proxy;

struct ValueFamily {
    decltype(&Proxy::getFileTid) get;
    decltype(&Proxy::setFileTid) set;
    decltype(&Proxy::queryUserSetFileTid) query;
    decltype(&Proxy::showUserSetFileTid) show;
    decltype(&Proxy::delUserSetFileTid) del;
    decltype(&Proxy::delAllUserSetFileTid) clear;
    bool zeroRefused;  // a tid of 0 is refused before the call; a flag of 0 is sent
};

const ValueFamily kTids{&Proxy::getFileTid,
                        &Proxy::setFileTid,
                        &Proxy::queryUserSetFileTid,
                        &Proxy::showUserSetFileTid,
                        &Proxy::delUserSetFileTid,
                        &Proxy::delAllUserSetFileTid,
                        true};
const ValueFamily kInheritFlags{&Proxy::getFileInheritFlag,
                                &Proxy::setFileInheritFlag,
                                &Proxy::queryUserSetFileInheritFlag,
                                &Proxy::showUserSetFileInheritFlag,
                                &Proxy::delUserSetFileInheritFlag,
                                &Proxy::delAllUserSetFileInheritFlag,
                                false};

int readValue(const ValueFamily& family, const char* path, uint32_t* value)
{
    if (path == nullptr || value == nullptr) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        // Stored whatever it is: callers see the failure value too.
        *value = (client.*family.get)(std::string(path));
        return *value == UINT32_MAX ? -1 : 0;
    });
}

int setValue(const ValueFamily& family, const char* path, uint32_t value, int option)
{
    if (path == nullptr || (family.zeroRefused && value == 0)) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        return fileStatus((client.*family.set)(std::string(path), value, option));
    });
}

}  // namespace

extern "C" {

VORX_EXPORT int getFileTid(const char* path, uint32_t* tid)
{
    return readValue(kTids, path, tid);
}

VORX_EXPORT int setFileTid(const char* path, uint32_t tid, int option)
{
    return setValue(kTids, path, tid, option);
}

VORX_EXPORT int queryUserSetFileTid(const char* path, USER_SET_ITEM** out, int option)
{
    return queryUserSet(kTids, path, out, option);
}

VORX_EXPORT int showUserSetFileTid(USER_SET_ITEM** out)
{
    return showUserSet(kTids, out);
}

VORX_EXPORT int delFileTid(const char* path, int option)
{
    return delUserSet(kTids, path, option);
}

VORX_EXPORT int clearFileTid(void)
{
    return clearUserSet(kTids);
}

VORX_EXPORT int getFileInheritFlag(const char* path, uint32_t* flag)
{
    return readValue(kInheritFlags, path, flag);
}

VORX_EXPORT int setFileInheritFlag(const char* path, uint32_t flag, int option)
{
    return setValue(kInheritFlags, path, flag, option);
}

VORX_EXPORT int queryUserSetFileInheritFlag(const char* path, USER_SET_ITEM** out, int option)
{
    return queryUserSet(kInheritFlags, path, out, option);
}

VORX_EXPORT int showUserSetFileInheritFlag(USER_SET_ITEM** out)
{
    return showUserSet(kInheritFlags, out);
}

VORX_EXPORT int delFileInheritFlag(const char* path, int option)
{
    return delUserSet(kInheritFlags, path, option);
}

VORX_EXPORT int clearFileInheritFlag(void)
{
    return clearUserSet(kInheritFlags);
}

}  // extern "C"
