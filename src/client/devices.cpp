// Object ids of devices and kernel modules: one implementation per shape
// (single id, list), the twins differ in their proxy member and line.
#include <cstdint>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <vorxlabelmgr/labelmgr_client.h>

#include "client/call_frame.h"
#include "client/labelmgr_proxy.h"

using vorx::client::callService;

namespace {

using Proxy = com::tarne::vorx::labelmgr_proxy;

int readObjectId(decltype(&Proxy::getDeviceOid) member, const char* label, const char* name, unsigned long* oid)
{
    if (name == nullptr || oid == nullptr) return -1;
    return callService(-2, std::cerr, [&](LabelMgrClient& client) {
        *oid = (client.*member)(std::string(name));
        if (*oid == UINT64_MAX) return -1;
        // Formatted apart: another thread's integers on the same stream keep
        // their base.
        vorx::client::writeLine(std::cout, {name, label, vorx::client::hexText(*oid)});
        return 0;
    });
}

int readObjectIds(decltype(&Proxy::getDeviceOids) member, const std::vector<std::string>& names,
                  std::map<std::string, VORX_ID>& oids)
{
    return callService(-1, std::cerr, [&](LabelMgrClient& client) {
        VORX_ID record{0, 0, 0};
        for (const auto& entry : (client.*member)(names)) {
            record.pkg_id = entry.second;
            oids[entry.first] = record;
        }
        return 0;
    });
}

}  // namespace

VORX_EXPORT int getDeviceOid(const char* device, unsigned long* oid)
{
    return readObjectId(&Proxy::getDeviceOid, "oid: ", device, oid);
}

VORX_EXPORT int getKernelModuleOid(const char* module, unsigned long* oid)
{
    return readObjectId(&Proxy::getKernelModuleOid, " oid: ", module, oid);
}

VORX_EXPORT int getDeviceOids(std::vector<std::string> devices, std::map<std::string, VORX_ID>& oids)
{
    return readObjectIds(&Proxy::getDeviceOids, devices, oids);
}

VORX_EXPORT int getKernelModuleOids(std::vector<std::string> modules, std::map<std::string, VORX_ID>& oids)
{
    return readObjectIds(&Proxy::getKernelModuleOids, modules, oids);
}
