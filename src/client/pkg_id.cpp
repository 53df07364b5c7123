#include <cstdint>
#include <iostream>
#include <string>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/label_mgr_client.h"

extern "C" int getPkgId(const char* pkgName, uint64_t* pkgId) {
    if (pkgName == nullptr || pkgId == nullptr) return -1;
    return vorx::client::callService(-2, std::cerr, [&](LabelMgrClient& client) {
        *pkgId = client.getPkgId(std::string(pkgName));
        return *pkgId == UINT64_MAX ? -1 : 0;
    });
}
