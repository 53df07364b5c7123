// Object and subject ids of files: one implementation, the twin families differ
// only in the proxy members they call.
#include <cstdint>
#include <iostream>
#include <map>
#include <string>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/id_dict.h"
#include "client/labelmgr_proxy.h"
#include "client/file_family.h"
#include "client/user_set.h"

using vorx::client::callService;
using vorx::client::clearUserSet;
using vorx::client::delUserSet;
using vorx::client::fileStatus;
using vorx::client::IdDict;
using vorx::client::queryUserSet;
using vorx::client::readIdDict;
using vorx::client::showUserSet;
using vorx::client::toIdDict;

namespace {

using Proxy = com::tarne::vorx::labelmgr_proxy;

struct IdFamily {
    decltype(&Proxy::getFileOid) get;
    decltype(&Proxy::setFileOid) set;
    decltype(&Proxy::queryUserSetFileOid) query;
    decltype(&Proxy::showUserSetFileOid) show;
    decltype(&Proxy::delUserSetFileOid) del;
    decltype(&Proxy::delAllUserSetFileOid) clear;
};

const IdFamily kObjectIds{&Proxy::getFileOid,         &Proxy::setFileOid,        &Proxy::queryUserSetFileOid,
                          &Proxy::showUserSetFileOid, &Proxy::delUserSetFileOid, &Proxy::delAllUserSetFileOid};
const IdFamily kSubjectIds{&Proxy::getFileSid,         &Proxy::setFileSid,        &Proxy::queryUserSetFileSid,
                           &Proxy::showUserSetFileSid, &Proxy::delUserSetFileSid, &Proxy::delAllUserSetFileSid};

constexpr uint64_t kAllOnes = UINT64_MAX;

int readId(const IdFamily& family, const char* path, VORX_ID* id)
{
    if (path == nullptr || id == nullptr) return -1;
    // Zeroed once the bus is reached, so that any failure of the call leaves it zero.
    return callService(
        -2, std::cerr,
        [&] {
            *id = VORX_ID{0, 0, 0};
        },
        [&](LabelMgrClient& client) {
            // A key that the answer lacks gives 0.
            VORX_ID got{0, 0, 0};
            readIdDict((client.*family.get)(std::string(path)), got);
            if (got.pkg_id == kAllOnes && got.file_id == kAllOnes && got.path_id == kAllOnes) return -1;
            *id = got;
            return 0;
        });
}

int setId(const IdFamily& family, const char* path, const VORX_ID& id, int option)
{
    if (path == nullptr) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        return fileStatus((client.*family.set)(std::string(path), toIdDict(id), option));
    });
}

}  // namespace

extern "C" {

VORX_EXPORT int getFileOid(const char* path, VORX_ID* oid)
{
    return readId(kObjectIds, path, oid);
}

VORX_EXPORT int setFileOid(const char* path, VORX_ID oid, int option)
{
    return setId(kObjectIds, path, oid, option);
}

VORX_EXPORT int queryUserSetFileOid(const char* path, USER_SET_ITEM** out, int option)
{
    return queryUserSet(kObjectIds, path, out, option);
}

VORX_EXPORT int showUserSetFileOid(USER_SET_ITEM** out)
{
    return showUserSet(kObjectIds, out);
}

VORX_EXPORT int delFileOid(const char* path, int option)
{
    return delUserSet(kObjectIds, path, option);
}

VORX_EXPORT int clearFileOid(void)
{
    return clearUserSet(kObjectIds);
}

VORX_EXPORT int getFileSid(const char* path, VORX_ID* sid)
{
    return readId(kSubjectIds, path, sid);
}

VORX_EXPORT int setFileSid(const char* path, VORX_ID sid, int option)
{
    return setId(kSubjectIds, path, sid, option);
}

VORX_EXPORT int queryUserSetFileSid(const char* path, USER_SET_ITEM** out, int option)
{
    return queryUserSet(kSubjectIds, path, out, option);
}

VORX_EXPORT int showUserSetFileSid(USER_SET_ITEM** out)
{
    return showUserSet(kSubjectIds, out);
}

VORX_EXPORT int delFileSid(const char* path, int option)
{
    return delUserSet(kSubjectIds, path, option);
}

VORX_EXPORT int clearFileSid(void)
{
    return clearUserSet(kSubjectIds);
}

}  // extern "C"
