// Labelling a package's files and the label-setting status; their codes differ
// from the rest of the client (-2 failure answer, -3 failed call; the raw status).
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/labelmgr_proxy.h"

using vorx::client::callService;

extern "C" {

VORX_EXPORT int setLabelForPkg(const char** files, int count, const char* pkgName)
{
    if (files == nullptr || count == 0 || pkgName == nullptr) return -1;
    return callService(-3, std::cerr, [&](LabelMgrClient& client) {
        // A negative count sends an empty list.
        std::vector<std::string> list;
        if (count > 0) list.assign(files, files + count);
        return client.setLabelForPkg(list, std::string(pkgName)) == -1 ? -2 : 0;
    });
}

VORX_EXPORT int getLabelSetStatus(void)
{
    return callService(-1, std::cerr, [&](LabelMgrClient& client) { return client.getLabelSetStatus(); });
}

}  // extern "C"
