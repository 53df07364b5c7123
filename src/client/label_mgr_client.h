#ifndef VORX_CLIENT_LABEL_MGR_CLIENT_H
#define VORX_CLIENT_LABEL_MGR_CLIENT_H

#include <dbus-c++/dbus.h>

#include "client/labelmgr_proxy.h"

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
