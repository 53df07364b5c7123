#ifndef VORX_CLIENT_LABELMGR_PROXY_H
#define VORX_CLIENT_LABELMGR_PROXY_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <dbus-c++/dbus.h>

namespace com {
namespace tarne {
namespace vorx {

// Proxy of the label-manager interface: one blocking call per method, the
// arguments sent as given and the reply handed back as typed values. It is
// abstract on its own; the object proxy of the same client object finds the
// object and sends the call.
class labelmgr_proxy : public ::DBus::InterfaceProxy {
public:
    labelmgr_proxy();

    uint64_t getPkgId(const std::string& pkgName);
    void getPkgIds(const std::vector<std::string>& pkgNames, std::vector<uint64_t>& pkgIds, int32_t& status);
    int32_t setPkgId(const std::string& pkgName, const uint64_t& pkgId);
    std::map<std::string, uint64_t> queryUserSetPkgId(const std::string& pkgName);
    std::map<std::string, uint64_t> showUserSetPkgId();
    int32_t delUserSetPkgId(const std::string& pkgName);
    int32_t delAllUserSetPkgId();

    std::map<std::string, uint64_t> getFileOid(const std::string& path);
    int32_t setFileOid(const std::string& path, const std::map<std::string, uint64_t>& id, const int32_t& option);
    std::map<std::string, std::map<std::string, uint64_t>> queryUserSetFileOid(const std::string& path,
                                                                               const int32_t& option);
    std::map<std::string, std::map<std::string, uint64_t>> showUserSetFileOid();
    int32_t delUserSetFileOid(const std::string& path, const int32_t& option);
    int32_t delAllUserSetFileOid();

    std::map<std::string, uint64_t> getFileSid(const std::string& path);
    int32_t setFileSid(const std::string& path, const std::map<std::string, uint64_t>& id, const int32_t& option);
    std::map<std::string, std::map<std::string, uint64_t>> queryUserSetFileSid(const std::string& path,
                                                                               const int32_t& option);
    std::map<std::string, std::map<std::string, uint64_t>> showUserSetFileSid();
    int32_t delUserSetFileSid(const std::string& path, const int32_t& option);
    int32_t delAllUserSetFileSid();

    uint32_t getFileTid(const std::string& path);
    int32_t setFileTid(const std::string& path, const uint32_t& tid, const int32_t& option);
    std::map<std::string, uint32_t> queryUserSetFileTid(const std::string& path, const int32_t& option);
    std::map<std::string, uint32_t> showUserSetFileTid();
    int32_t delUserSetFileTid(const std::string& path, const int32_t& option);
    int32_t delAllUserSetFileTid();

    uint32_t getFileInheritFlag(const std::string& path);
    int32_t setFileInheritFlag(const std::string& path, const uint32_t& flag, const int32_t& option);
    std::map<std::string, uint32_t> queryUserSetFileInheritFlag(const std::string& path, const int32_t& option);
    std::map<std::string, uint32_t> showUserSetFileInheritFlag();
    int32_t delUserSetFileInheritFlag(const std::string& path, const int32_t& option);
    int32_t delAllUserSetFileInheritFlag();

    int32_t setLabelForPkg(const std::vector<std::string>& paths, const std::string& pkgName);
    uint64_t getKernelModuleOid(const std::string& module);
    std::map<std::string, uint64_t> getKernelModuleOids(const std::vector<std::string>& modules);
    uint64_t getDeviceOid(const std::string& device);
    std::map<std::string, uint64_t> getDeviceOids(const std::vector<std::string>& devices);
    int32_t addTagFullSystem(const std::string& path, const std::vector<std::string>& tags);
    std::string getPathSm3HashValue(const std::string& path);
    std::map<std::string, std::map<std::string, std::map<std::string, uint64_t>>> policies_parse(
        const std::map<std::string, std::vector<std::string>>& policies);
    std::string restoreSingleFileLabel(const std::string& path);
    std::string restoreSingleFileInitLabel(const std::string& path);
    int32_t getLabelSetStatus();
};

}  // namespace vorx
}  // namespace tarne
}  // namespace com

// Well-known name of the service and destination of every call.
constexpr const char LABELMGR_SERVICE_NAME[] = "com.tarne.vorx.labelmgr";
// Object path of every call.
constexpr const char LABELMGR_OBJECT_PATH[] = "/org/freedesktop/DBus/tarne/vorx/labelmgr";
// Longest wait for a method's reply, in milliseconds.
constexpr int LABELMGR_CALL_TIMEOUT_MS = 180000;

// The client object of one call: the label-manager proxy, the introspection
// proxy and the object proxy that holds the connection, path, destination and
// time-out. Building it adds one signal match rule per interface on the bus
// (DBus::Error when the bus refuses one); destroying it removes them.
class LabelMgrClient : public com::tarne::vorx::labelmgr_proxy,
                       public DBus::IntrospectableProxy,
                       public DBus::ObjectProxy {
public:
    LabelMgrClient(DBus::Connection& connection, const char* path, const char* name);
    ~LabelMgrClient() override = default;

    LabelMgrClient(const LabelMgrClient&) = delete;
    LabelMgrClient& operator=(const LabelMgrClient&) = delete;
};

#endif
