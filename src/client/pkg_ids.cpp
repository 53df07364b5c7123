// Package ids: reading one or several, setting them and the user-set entries.
#include <cstdint>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/labelmgr_proxy.h"
#include "client/user_set.h"

using vorx::client::callService;

namespace {

// The package functions that set or remove take any non-zero status as failure.
int pkgStatus(int32_t status)
{
    return status == 0 ? 0 : -1;
}

}  // namespace

extern "C" {

VORX_EXPORT int getPkgId(const char* pkgName, uint64_t* pkgId)
{
    if (pkgName == nullptr || pkgId == nullptr) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        // Stored whatever it is: callers see the failure value too.
        *pkgId = client.getPkgId(std::string(pkgName));
        return *pkgId == UINT64_MAX ? -1 : 0;
    });
}

VORX_EXPORT int getPkgIds(const char** pkgNames, unsigned int count, uint64_t* pkgIds)
{
    if (pkgNames == nullptr || pkgIds == nullptr) return -1;
    std::vector<uint64_t> ids;
    int rc = callService(-2, std::cerr, [&](LabelMgrClient& client) {
        std::vector<std::string> names(pkgNames, pkgNames + count);
        int32_t status = 0;
        client.getPkgIds(names, ids, status);
        return 0;
    });
    if (rc != 0) return rc;
    // The caller's array has room for count ids; anything beyond is dropped.
    size_t written = ids.size() < count ? ids.size() : count;
    for (size_t i = 0; i < written; ++i) pkgIds[i] = ids[i];
    return static_cast<int>(written);
}

VORX_EXPORT int setPkgId(const char* pkgName, uint64_t pkgId)
{
    if (pkgName == nullptr) return -1;
    return callService(-2, std::cerr,
                       [&](LabelMgrClient& client) { return pkgStatus(client.setPkgId(std::string(pkgName), pkgId)); });
}

VORX_EXPORT int queryUserSetPkgId(const char* pkgName, uint64_t* pkgId)
{
    if (pkgName == nullptr || pkgId == nullptr) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        std::string name(pkgName);
        std::map<std::string, uint64_t> entries = client.queryUserSetPkgId(name);
        if (entries.empty()) return 1;
        auto it = entries.find(name);
        *pkgId = it == entries.end() ? 0 : it->second;
        return 0;
    });
}

VORX_EXPORT int showUserSetPkgId(USER_SET_ITEM** out)
{
    if (out == nullptr) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        return vorx::client::toUserSetArray(client.showUserSetPkgId(), out);
    });
}

VORX_EXPORT int delUserSetPkgId(const char* pkgName)
{
    if (pkgName == nullptr) return -1;
    return callService(-2, std::cerr,
                       [&](LabelMgrClient& client) { return pkgStatus(client.delUserSetPkgId(std::string(pkgName))); });
}

VORX_EXPORT int clearUserSetPkgId(void)
{
    return callService(-2, std::cerr, [&](LabelMgrClient& client) { return pkgStatus(client.delAllUserSetPkgId()); });
}

}  // extern "C"
