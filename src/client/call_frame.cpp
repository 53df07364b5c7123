#include "client/call_frame.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include <dbus-c++/dbus.h>

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

// The dispatcher's wake-up pipe is closed only by leave(); the call never
// enters the loop, so it is left here, after the connection has gone.
class CallDispatcher {
public:
    CallDispatcher() = default;
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

}  // namespace

int callService(int busCode, std::ostream& errOut, const std::function<int(LabelMgrClient&)>& body) {
    std::lock_guard<std::mutex> guard(callLock());
    DefaultDispatcherRestore restore;
    int result = busCode;
    try {
        std::unique_ptr<CallDispatcher> dispatcher = makeDispatcher(errOut);
        if (!dispatcher) return busCode;
        DBus::default_dispatcher = &dispatcher->get();
        // The connection outlives the client, so a failed call has its match
        // rules removed before the error line and is closed after it.
        std::unique_ptr<DBus::Connection> connection;
        try {
            connection.reset(new DBus::Connection(DBus::Connection::SystemBus()));
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
