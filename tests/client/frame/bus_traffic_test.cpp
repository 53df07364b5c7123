// What one client call does on the bus, seen by a monitor connection.
#include <vorxlabelmgr/labelmgr_client.h>

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "private_bus.h"

namespace {

// A monitor on the private bus (raw libdbus, its own connection by address).
class Monitor {
public:
    explicit Monitor(const std::string& address)
    {
        DBusError err;
        dbus_error_init(&err);
        conn_ = dbus_connection_open_private(address.c_str(), &err);
        if (conn_ == nullptr || !dbus_bus_register(conn_, &err)) {
            ADD_FAILURE() << "monitor connection: " << (err.message ? err.message : "?");
            dbus_error_free(&err);
            return;
        }
        DBusMessage* m = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                      "org.freedesktop.DBus.Monitoring", "BecomeMonitor");
        DBusMessageIter it, arr;
        dbus_message_iter_init_append(m, &it);
        dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "s", &arr);
        dbus_message_iter_close_container(&it, &arr);
        dbus_uint32_t flags = 0;
        dbus_message_iter_append_basic(&it, DBUS_TYPE_UINT32, &flags);
        DBusMessage* r = dbus_connection_send_with_reply_and_block(conn_, m, 10000, &err);
        dbus_message_unref(m);
        if (r == nullptr) {
            ADD_FAILURE() << "BecomeMonitor: " << (err.message ? err.message : "?");
            dbus_error_free(&err);
            return;
        }
        dbus_message_unref(r);
    }
    ~Monitor()
    {
        if (conn_) {
            dbus_connection_close(conn_);
            dbus_connection_unref(conn_);
        }
    }

    // "type member [first string argument]" of every message seen within
    // `ms` of quiet, in order.
    std::vector<std::string> drain(int ms = 300)
    {
        std::vector<std::string> seen;
        if (!conn_) return seen;
        auto quietUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < quietUntil) {
            dbus_connection_read_write(conn_, 20);
            while (DBusMessage* m = dbus_connection_pop_message(conn_)) {
                seen.push_back(describe(m));
                dbus_message_unref(m);
            }
        }
        return seen;
    }

private:
    static std::string describe(DBusMessage* m)
    {
        std::string out;
        switch (dbus_message_get_type(m)) {
        case DBUS_MESSAGE_TYPE_METHOD_CALL:
            out = "call ";
            break;
        case DBUS_MESSAGE_TYPE_METHOD_RETURN:
            return "return";
        case DBUS_MESSAGE_TYPE_ERROR:
            return std::string("error ") + dbus_message_get_error_name(m);
        default:
            out = "signal ";
        }
        out += dbus_message_get_member(m) ? dbus_message_get_member(m) : "";
        DBusMessageIter it;
        if (dbus_message_iter_init(m, &it) && dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_STRING) {
            const char* s = nullptr;
            dbus_message_iter_get_basic(&it, &s);
            out += std::string(" ") + s;
        }
        return out;
    }

    DBusConnection* conn_ = nullptr;
};

class BusTraffic : public vorxtest::LabelMgrPeerTest {};

std::vector<std::string> callsOnly(const std::vector<std::string>& seen)
{
    std::vector<std::string> out;
    for (const auto& s : seen)
        if (s.rfind("call ", 0) == 0) out.push_back(s);
    return out;
}

const char kLabelMgrRule[] =
    "type='signal',interface='com.tarne.vorx.labelmgr',path='/org/freedesktop/DBus/tarne/vorx/labelmgr'";
const char kIntrospectRule[] =
    "type='signal',interface='org.freedesktop.DBus.Introspectable',path='/org/freedesktop/DBus/tarne/vorx/labelmgr'";

TEST_F(BusTraffic, OneCallIsHelloTwoMatchesTheCallAndTheirRemoval)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    Monitor monitor(bus.address());
    monitor.drain(100);
    uint64_t id = 0;
    ASSERT_EQ(getPkgId("a", &id), 0);
    std::vector<std::string> expected = {
        "call Hello",
        std::string("call AddMatch ") + kLabelMgrRule,
        std::string("call AddMatch ") + kIntrospectRule,
        "call getPkgId a",
        std::string("call RemoveMatch ") + kLabelMgrRule,
        std::string("call RemoveMatch ") + kIntrospectRule,
    };
    auto seen = monitor.drain();
    EXPECT_EQ(callsOnly(seen), expected);
    // The connection is gone afterwards.
    auto calls = peer.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(peer.hasOwner(calls[0].sender));
}

TEST_F(BusTraffic, AFailedCallStillRemovesItsMatchRules)
{
    ASSERT_TRUE(peer.error("getPkgId", "org.example.Error", "nope"));
    Monitor monitor(bus.address());
    monitor.drain(100);
    uint64_t id = 0;
    testing::internal::CaptureStderr();
    ASSERT_EQ(getPkgId("a", &id), -2);
    testing::internal::GetCapturedStderr();
    auto seen = callsOnly(monitor.drain());
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[4], std::string("call RemoveMatch ") + kLabelMgrRule);
    EXPECT_EQ(seen[5], std::string("call RemoveMatch ") + kIntrospectRule);
}

}  // namespace
