#include "client/surplus_reference.h"

#include <cstring>
#include <string>
#include <vector>

#include <dbus/dbus.h>

#include "client/client_config.h"

namespace vorx {
namespace client {

#ifdef VORX_DBUSCXX_SURPLUS_REF

namespace {

// An explicit instantiation may name a private member, which PrivateMember
// turns into a pointer-to-member this file can use.
struct ConnectionPvt {
    using type = DBus::RefPtrI<DBus::Connection::Private> DBus::Connection::*;
};
ConnectionPvt::type memberOf(ConnectionPvt);
template <class Tag, typename Tag::type Member>
struct PrivateMember {
    friend typename Tag::type memberOf(Tag) { return Member; }
};
template struct PrivateMember<ConnectionPvt, &DBus::Connection::_pvt>;

dbus_int32_t finalisedSlot()
{
    static dbus_int32_t slot = -1;
    static bool allocated = dbus_connection_allocate_data_slot(&slot);
    return allocated ? slot : -1;
}

// The libdbus connection of `connection`, or null unless the binding's private
// record looks exactly as expected: the connection, an empty list of owned
// names, then the dispatcher this call attached it to.
DBusConnection* libdbusConnection(DBus::Connection& connection, const DBus::Dispatcher* attachedTo)
{
    DBus::Connection::Private* pvt = (connection.*memberOf(ConnectionPvt{})).get();
    if (pvt == nullptr) return nullptr;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(pvt);
    DBusConnection* conn = nullptr;
    void* names[3] = {nullptr, nullptr, nullptr};
    const DBus::Dispatcher* dispatcher = nullptr;
    static_assert(sizeof(names) == sizeof(std::vector<std::string>), "vector of three pointers");
    std::memcpy(&conn, bytes, sizeof conn);
    std::memcpy(names, bytes + sizeof conn, sizeof names);
    std::memcpy(&dispatcher, bytes + sizeof conn + sizeof names, sizeof dispatcher);
    if (conn == nullptr || dispatcher != attachedTo || names[0] || names[1] || names[2]) return nullptr;
    return conn;
}

}  // namespace

void SurplusReference::onFinalised(void* flag)
{
    *static_cast<bool*>(flag) = true;
}

// The binding's own reference is gone by now; if libdbus has not finalised
// the connection, the surplus one still holds it. The mark goes first: this
// holder and its flag end with the call.
SurplusReference::~SurplusReference()
{
    if (conn_ == nullptr || finalised_) return;
    auto* conn = static_cast<DBusConnection*>(conn_);
    dbus_connection_set_data(conn, finalisedSlot(), nullptr, nullptr);
    dbus_connection_unref(conn);
}

void SurplusReference::watch(DBus::Connection& connection, const DBus::Dispatcher* attachedTo) noexcept
{
    DBusConnection* conn = libdbusConnection(connection, attachedTo);
    dbus_int32_t slot = finalisedSlot();
    if (conn == nullptr || slot < 0) return;
    if (!dbus_connection_set_data(conn, slot, &finalised_, onFinalised)) return;
    conn_ = conn;
}

#else

SurplusReference::~SurplusReference() {}

void SurplusReference::watch(DBus::Connection&, const DBus::Dispatcher*) noexcept {}

#endif

}  // namespace client
}  // namespace vorx
