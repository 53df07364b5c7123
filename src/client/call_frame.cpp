#include "client/call_frame.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <dbus-c++/dbus.h>
#include <dbus/dbus.h>

#include "client/label_mgr_client.h"

namespace vorx {
namespace client {

namespace {

// The binding keeps one process-wide dispatcher pointer that every new
// connection attaches to; two overlapping calls would attach to each other's
// dispatcher. One lock for the whole call keeps them apart.
std::mutex& callLock() {
    static std::mutex lock;
    return lock;
}

void writeErrorLine(std::ostream& errOut, const char* message) {
    errOut << "DBus error occurred: " << message << std::endl;
}

// Puts the process-wide default dispatcher back on every way out, so a
// calling program that uses the binding itself keeps its own.
class DefaultDispatcherRestore {
public:
    DefaultDispatcherRestore() : saved_(DBus::default_dispatcher) {}
    ~DefaultDispatcherRestore() { DBus::default_dispatcher = saved_; }
    DefaultDispatcherRestore(const DefaultDispatcherRestore&) = delete;
    DefaultDispatcherRestore& operator=(const DefaultDispatcherRestore&) = delete;

private:
    DBus::Dispatcher* saved_;
};

// The binding opens the dispatcher's wake-up pipe without close-on-exec and
// keeps it in a private member. An explicit instantiation may name a private
// member; PrivateMember turns that into a pointer-to-member the frame can use.
struct DispatcherPipe {
    using type = int (DBus::BusDispatcher::*)[2];
};
DispatcherPipe::type memberOf(DispatcherPipe);
template <class Tag, typename Tag::type Member>
struct PrivateMember {
    friend typename Tag::type memberOf(Tag) { return Member; }
};
template struct PrivateMember<DispatcherPipe, &DBus::BusDispatcher::_pipe>;

// So a program that starts another one while a call runs does not hand it
// the pipe. Only descriptors that are pipes are touched.
void closeOnExec(DBus::BusDispatcher& dispatcher) {
    int* fds = dispatcher.*memberOf(DispatcherPipe{});
    for (int i = 0; i < 2; ++i) {
        struct stat st;
        if (fds[i] < 0 || fstat(fds[i], &st) != 0 || !S_ISFIFO(st.st_mode)) continue;
        int flags = fcntl(fds[i], F_GETFD);
        if (flags >= 0) fcntl(fds[i], F_SETFD, flags | FD_CLOEXEC);
    }
}

// The dispatcher's wake-up pipe is closed only by leave(); the call never
// enters the loop, so it is left here, after the connection has gone.
class CallDispatcher {
public:
    CallDispatcher() { closeOnExec(dispatcher_); }
    ~CallDispatcher() {
        try {
            dispatcher_.leave();
        } catch (...) {
            // leave() closes the pipe after its wake-up write, also when that write fails.
        }
    }
    CallDispatcher(const CallDispatcher&) = delete;
    CallDispatcher& operator=(const CallDispatcher&) = delete;
    DBus::BusDispatcher& get() { return dispatcher_; }

private:
    DBus::BusDispatcher dispatcher_;
};

std::unique_ptr<CallDispatcher> makeDispatcher(std::ostream& errOut) {
    try {
        return std::make_unique<CallDispatcher>();
    } catch (const DBus::Error&) {
        // The binding's error here carries a dangling message pointer; errno
        // still holds why the pipe could not be made.
        int err = errno;
        std::string msg = std::string("cannot create the dispatcher's wake-up pipe: ") + std::strerror(err);
        writeErrorLine(errOut, msg.c_str());
        return nullptr;
    }
}

// The binding takes one reference too many on every connection it opens, so
// each call would leave libdbus's connection object (some 8.5 KB) behind. The
// frame finds the libdbus connection behind the binding's one and drops that
// reference once the binding is done with it.
//
// The binding keeps it in a private member, reached like the pipe above.
struct ConnectionPvt {
    using type = DBus::RefPtrI<DBus::Connection::Private> DBus::Connection::*;
};
ConnectionPvt::type memberOf(ConnectionPvt);
template struct PrivateMember<ConnectionPvt, &DBus::Connection::_pvt>;

// Counts libdbus connections finalised while marked by the frame.
std::atomic<unsigned long> finalizedConnections{0};
char connectionMark;

void onConnectionFinalized(void*) { ++finalizedConnections; }

dbus_int32_t markSlot() {
    static dbus_int32_t slot = -1;
    static bool allocated = dbus_connection_allocate_data_slot(&slot);
    return allocated ? slot : -1;
}

// The libdbus connection of `connection`, or null unless the binding's private
// record looks exactly as expected: the connection, an empty list of owned
// names, then the dispatcher this call attached it to.
DBusConnection* libdbusConnection(DBus::Connection& connection, const DBus::Dispatcher* attachedTo) {
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
    const char* unique = connection.unique_name();
    if (unique == nullptr || dbus_bus_get_unique_name(conn) != unique) return nullptr;
    return conn;
}

// Declared before the connection, so it acts after the binding let go: if
// libdbus has not finalised the connection by then, the binding's surplus
// reference is the last one and is dropped here, while the call's dispatcher
// still exists for libdbus to call back.
class SurplusReference {
public:
    SurplusReference() = default;
    ~SurplusReference() {
        if (conn_ != nullptr && finalizedConnections.load() == finalizedBefore_) dbus_connection_unref(conn_);
    }
    SurplusReference(const SurplusReference&) = delete;
    SurplusReference& operator=(const SurplusReference&) = delete;

    void watch(DBus::Connection& connection, const DBus::Dispatcher* attachedTo) {
        DBusConnection* conn = libdbusConnection(connection, attachedTo);
        dbus_int32_t slot = markSlot();
        if (conn == nullptr || slot < 0) return;
        if (!dbus_connection_set_data(conn, slot, &connectionMark, onConnectionFinalized)) return;
        finalizedBefore_ = finalizedConnections.load();
        conn_ = conn;
    }

private:
    DBusConnection* conn_ = nullptr;
    unsigned long finalizedBefore_ = 0;
};

}  // namespace

int callService(int busCode, std::ostream& errOut, const std::function<int(LabelMgrClient&)>& body) {
    return callService(busCode, errOut, std::function<void()>(), body);
}

int callService(int busCode, std::ostream& errOut, const std::function<void()>& prepare,
                const std::function<int(LabelMgrClient&)>& body) {
    std::lock_guard<std::mutex> guard(callLock());
    DefaultDispatcherRestore restore;
    int result = busCode;
    try {
        std::unique_ptr<CallDispatcher> dispatcher = makeDispatcher(errOut);
        if (!dispatcher) return busCode;
        DBus::default_dispatcher = &dispatcher->get();
        // The connection outlives the client, so a failed call has its match
        // rules removed before the error line and is closed after it.
        SurplusReference surplus;
        std::unique_ptr<DBus::Connection> connection;
        try {
            connection.reset(new DBus::Connection(DBus::Connection::SystemBus()));
            surplus.watch(*connection, &dispatcher->get());
            if (prepare) prepare();
            LabelMgrClient client(*connection, LABELMGR_OBJECT_PATH, LABELMGR_SERVICE_NAME);
            result = body(client);
        } catch (const DBus::Error& e) {
            writeErrorLine(errOut, e.what());
            result = busCode;
        }
        connection.reset();
    } catch (const std::bad_alloc&) {
        // No exception may cross into a C caller.
        writeErrorLine(errOut, "out of memory");
        result = busCode;
    } catch (const std::exception& e) {
        writeErrorLine(errOut, e.what());
        result = busCode;
    } catch (...) {
        writeErrorLine(errOut, "unexpected failure");
        result = busCode;
    }
    return result;
}

}  // namespace client
}  // namespace vorx
