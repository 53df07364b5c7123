#include "client/label_mgr_client.h"

LabelMgrClient::LabelMgrClient(DBus::Connection& connection, const char* path, const char* name)
    : DBus::ObjectProxy(connection, DBus::Path(path), name)
{
    set_timeout(LABELMGR_CALL_TIMEOUT_MS);
}
