#include "client/labelmgr_proxy.h"

#include <dbus/dbus.h>

#include <string>

namespace com {
namespace tarne {
namespace vorx {

namespace {

const char kInterface[] = "com.tarne.vorx.labelmgr";

// libdbus aborts the whole process when asked to append a string that is not
// UTF-8, so every string argument, also inside containers, is tested before
// the message is built.
void refuseText(const char* member, int argNo, bool inContainer)
{
    // The binding's error keeps only a pointer to its message, so the text
    // must outlive the throw: it stays until this thread's next refusal.
    thread_local std::string message;
    message = "argument " + std::to_string(argNo) + " of " + member +
              (inContainer ? " holds a string that is not valid UTF-8" : " is not valid UTF-8");
    throw ::DBus::ErrorInvalidArgs(message.c_str());
}

template <class T>
void checkText(const T&, const char*, int, bool)
{}

void checkText(const std::string& s, const char* member, int argNo, bool inContainer)
{
    // The text travels up to its first NUL, so that is what must be valid.
    if (!dbus_validate_utf8(s.c_str(), nullptr)) refuseText(member, argNo, inContainer);
}

template <class E>
void checkText(const std::vector<E>& v, const char* member, int argNo, bool)
{
    for (const E& e : v) checkText(e, member, argNo, true);
}

template <class K, class V>
void checkText(const std::map<K, V>& m, const char* member, int argNo, bool)
{
    for (const auto& kv : m) {
        checkText(kv.first, member, argNo, true);
        checkText(kv.second, member, argNo, true);
    }
}

template <class... Args>
::DBus::Message call(::DBus::InterfaceProxy& proxy, const char* member, const Args&... args)
{
    int argNo = 0;
    (checkText(args, member, ++argNo, false), ...);
    ::DBus::CallMessage msg;
    if constexpr (sizeof...(Args) > 0) {
        ::DBus::MessageIter wi = msg.writer();
        ((wi << args), ...);
    }
    msg.member(member);
    return proxy.invoke_method(msg);
}

template <class T>
T firstOutput(const ::DBus::Message& reply)
{
    ::DBus::MessageIter ri = reply.reader();
    T value{};
    ri >> value;
    return value;
}

using IdMap = std::map<std::string, uint64_t>;
using FlagMap = std::map<std::string, uint32_t>;
using PathIdMap = std::map<std::string, IdMap>;

}  // namespace

labelmgr_proxy::labelmgr_proxy() : ::DBus::InterfaceProxy(kInterface) {}

uint64_t labelmgr_proxy::getPkgId(const std::string& pkgName)
{
    return firstOutput<uint64_t>(call(*this, "getPkgId", pkgName));
}

void labelmgr_proxy::getPkgIds(const std::vector<std::string>& pkgNames, std::vector<uint64_t>& pkgIds, int32_t& status)
{
    ::DBus::Message reply = call(*this, "getPkgIds", pkgNames);
    ::DBus::MessageIter ri = reply.reader();
    ri >> pkgIds;
    int32_t s = 0;
    ri >> s;
    status = s;
}

int32_t labelmgr_proxy::setPkgId(const std::string& pkgName, const uint64_t& pkgId)
{
    return firstOutput<int32_t>(call(*this, "setPkgId", pkgName, pkgId));
}

IdMap labelmgr_proxy::queryUserSetPkgId(const std::string& pkgName)
{
    return firstOutput<IdMap>(call(*this, "queryUserSetPkgId", pkgName));
}

IdMap labelmgr_proxy::showUserSetPkgId()
{
    return firstOutput<IdMap>(call(*this, "showUserSetPkgId"));
}

int32_t labelmgr_proxy::delUserSetPkgId(const std::string& pkgName)
{
    return firstOutput<int32_t>(call(*this, "delUserSetPkgId", pkgName));
}

int32_t labelmgr_proxy::delAllUserSetPkgId()
{
    return firstOutput<int32_t>(call(*this, "delAllUserSetPkgId"));
}

IdMap labelmgr_proxy::getFileOid(const std::string& path)
{
    return firstOutput<IdMap>(call(*this, "getFileOid", path));
}

int32_t labelmgr_proxy::setFileOid(const std::string& path, const IdMap& id, const int32_t& option)
{
    return firstOutput<int32_t>(call(*this, "setFileOid", path, id, option));
}

PathIdMap labelmgr_proxy::queryUserSetFileOid(const std::string& path, const int32_t& option)
{
    return firstOutput<PathIdMap>(call(*this, "queryUserSetFileOid", path, option));
}

PathIdMap labelmgr_proxy::showUserSetFileOid()
{
    return firstOutput<PathIdMap>(call(*this, "showUserSetFileOid"));
}

int32_t labelmgr_proxy::delUserSetFileOid(const std::string& path, const int32_t& option)
{
    return firstOutput<int32_t>(call(*this, "delUserSetFileOid", path, option));
}

int32_t labelmgr_proxy::delAllUserSetFileOid()
{
    return firstOutput<int32_t>(call(*this, "delAllUserSetFileOid"));
}

IdMap labelmgr_proxy::getFileSid(const std::string& path)
{
    return firstOutput<IdMap>(call(*this, "getFileSid", path));
}

int32_t labelmgr_proxy::setFileSid(const std::string& path, const IdMap& id, const int32_t& option)
{
    return firstOutput<int32_t>(call(*this, "setFileSid", path, id, option));
}

PathIdMap labelmgr_proxy::queryUserSetFileSid(const std::string& path, const int32_t& option)
{
    return firstOutput<PathIdMap>(call(*this, "queryUserSetFileSid", path, option));
}

PathIdMap labelmgr_proxy::showUserSetFileSid()
{
    return firstOutput<PathIdMap>(call(*this, "showUserSetFileSid"));
}

int32_t labelmgr_proxy::delUserSetFileSid(const std::string& path, const int32_t& option)
{
    return firstOutput<int32_t>(call(*this, "delUserSetFileSid", path, option));
}

int32_t labelmgr_proxy::delAllUserSetFileSid()
{
    return firstOutput<int32_t>(call(*this, "delAllUserSetFileSid"));
}

uint32_t labelmgr_proxy::getFileTid(const std::string& path)
{
    return firstOutput<uint32_t>(call(*this, "getFileTid", path));
}

int32_t labelmgr_proxy::setFileTid(const std::string& path, const uint32_t& tid, const int32_t& option)
{
    return firstOutput<int32_t>(call(*this, "setFileTid", path, tid, option));
}

FlagMap labelmgr_proxy::queryUserSetFileTid(const std::string& path, const int32_t& option)
{
    return firstOutput<FlagMap>(call(*this, "queryUserSetFileTid", path, option));
}

FlagMap labelmgr_proxy::showUserSetFileTid()
{
    return firstOutput<FlagMap>(call(*this, "showUserSetFileTid"));
}

int32_t labelmgr_proxy::delUserSetFileTid(const std::string& path, const int32_t& option)
{
    return firstOutput<int32_t>(call(*this, "delUserSetFileTid", path, option));
}

int32_t labelmgr_proxy::delAllUserSetFileTid()
{
    return firstOutput<int32_t>(call(*this, "delAllUserSetFileTid"));
}

uint32_t labelmgr_proxy::getFileInheritFlag(const std::string& path)
{
    return firstOutput<uint32_t>(call(*this, "getFileInheritFlag", path));
}

int32_t labelmgr_proxy::setFileInheritFlag(const std::string& path, const uint32_t& flag, const int32_t& option)
{
    return firstOutput<int32_t>(call(*this, "setFileInheritFlag", path, flag, option));
}

FlagMap labelmgr_proxy::queryUserSetFileInheritFlag(const std::string& path, const int32_t& option)
{
    return firstOutput<FlagMap>(call(*this, "queryUserSetFileInheritFlag", path, option));
}

FlagMap labelmgr_proxy::showUserSetFileInheritFlag()
{
    return firstOutput<FlagMap>(call(*this, "showUserSetFileInheritFlag"));
}

int32_t labelmgr_proxy::delUserSetFileInheritFlag(const std::string& path, const int32_t& option)
{
    return firstOutput<int32_t>(call(*this, "delUserSetFileInheritFlag", path, option));
}

int32_t labelmgr_proxy::delAllUserSetFileInheritFlag()
{
    return firstOutput<int32_t>(call(*this, "delAllUserSetFileInheritFlag"));
}

int32_t labelmgr_proxy::setLabelForPkg(const std::vector<std::string>& paths, const std::string& pkgName)
{
    return firstOutput<int32_t>(call(*this, "setLabelForPkg", paths, pkgName));
}

uint64_t labelmgr_proxy::getKernelModuleOid(const std::string& module)
{
    return firstOutput<uint64_t>(call(*this, "getKernelModuleOid", module));
}

IdMap labelmgr_proxy::getKernelModuleOids(const std::vector<std::string>& modules)
{
    return firstOutput<IdMap>(call(*this, "getKernelModuleOids", modules));
}

uint64_t labelmgr_proxy::getDeviceOid(const std::string& device)
{
    return firstOutput<uint64_t>(call(*this, "getDeviceOid", device));
}

IdMap labelmgr_proxy::getDeviceOids(const std::vector<std::string>& devices)
{
    return firstOutput<IdMap>(call(*this, "getDeviceOids", devices));
}

int32_t labelmgr_proxy::addTagFullSystem(const std::string& path, const std::vector<std::string>& tags)
{
    return firstOutput<int32_t>(call(*this, "addTagFullSystem", path, tags));
}

std::string labelmgr_proxy::getPathSm3HashValue(const std::string& path)
{
    return firstOutput<std::string>(call(*this, "getPathSm3HashValue", path));
}

std::map<std::string, std::map<std::string, IdMap>> labelmgr_proxy::policies_parse(
    const std::map<std::string, std::vector<std::string>>& policies)
{
    return firstOutput<std::map<std::string, std::map<std::string, IdMap>>>(call(*this, "policies_parse", policies));
}

std::string labelmgr_proxy::restoreSingleFileLabel(const std::string& path)
{
    return firstOutput<std::string>(call(*this, "restoreSingleFileLabel", path));
}

std::string labelmgr_proxy::restoreSingleFileInitLabel(const std::string& path)
{
    return firstOutput<std::string>(call(*this, "restoreSingleFileInitLabel", path));
}

int32_t labelmgr_proxy::getLabelSetStatus()
{
    return firstOutput<int32_t>(call(*this, "getLabelSetStatus"));
}

}  // namespace vorx
}  // namespace tarne
}  // namespace com

LabelMgrClient::LabelMgrClient(DBus::Connection& connection, const char* path, const char* name)
    : DBus::ObjectProxy(connection, DBus::Path(path), name)
{
    set_timeout(LABELMGR_CALL_TIMEOUT_MS);
}
