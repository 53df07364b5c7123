#include "client/call_frame.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <string>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <dbus/dbus.h>

#include "client/client_config.h"
#include "client/system_bus.h"

namespace vorx {
namespace client {

namespace {

// Constant-initialised, so nothing runs at load time.
std::mutex connectMutex;

// libdbus has no fork handlers: a child forked while another thread was inside
// libdbus may find one of its process-wide locks held for ever. The frame
// counts its calls in flight; a child forked while any was makes no call.
std::atomic<int> callsInFlight{0};
std::atomic<bool> forkedMidCall{false};

void onForkInChild()
{
    new (&connectMutex) std::mutex;
    if (callsInFlight.load() != 0) forkedMidCall.store(true);
    callsInFlight.store(0);
}

// 0 before the first call, -1 once the fork handler is in place, otherwise
// the pid of the process whose thread is putting it in place.
std::atomic<pid_t> forkHandlerState{0};

enum class Admission { Counted, ForkedMidCall, NoMemory };

// A child forked while the handler was being put in place cannot tell whether
// a call was in flight, and is treated as if one was.
Admission admitCall() noexcept
{
    const pid_t self = getpid();
    for (;;) {
        pid_t state = forkHandlerState.load();
        if (state == -1) break;
        if (state == 0) {
            if (!forkHandlerState.compare_exchange_strong(state, self)) continue;
            if (pthread_atfork(nullptr, nullptr, onForkInChild) != 0) {
                forkHandlerState.store(0);
                return Admission::NoMemory;
            }
            forkHandlerState.store(-1);
            break;
        }
        if (state != self) return Admission::ForkedMidCall;
        sched_yield();
    }
    if (forkedMidCall.load()) return Admission::ForkedMidCall;
    callsInFlight.fetch_add(1);
    return Admission::Counted;
}

// Puts the process-wide default dispatcher back, so a calling program that
// uses the binding itself keeps its own.
class DefaultDispatcherRestore {
public:
    DefaultDispatcherRestore() : saved_(DBus::default_dispatcher) {}
    ~DefaultDispatcherRestore() { DBus::default_dispatcher = saved_; }
    DefaultDispatcherRestore(const DefaultDispatcherRestore&) = delete;
    DefaultDispatcherRestore& operator=(const DefaultDispatcherRestore&) = delete;

private:
    DBus::Dispatcher* saved_;
};

#ifdef VORX_DBUSCXX_SURPLUS_REF
// Only for the binding releases whose connection record was checked (set at
// configure time): an explicit instantiation may name a private member, which
// PrivateMember turns into a pointer-to-member the frame can use.
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
#endif

}  // namespace

void writeLine(std::ostream& out, std::initializer_list<std::string_view> parts) noexcept
{
    try {
        size_t size = 1;
        for (std::string_view part : parts) size += part.size();
        std::string line;
        line.reserve(size);
        for (std::string_view part : parts) line.append(part);
        line.push_back('\n');
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        out.flush();
    } catch (...) {
        // No room for the line, or a stream that throws: the code still tells.
    }
}

void writeErrorLine(std::ostream& out, const char* message) noexcept
{
    writeLine(out, {"DBus error occurred: ", message});
}

IntegerText::IntegerText(uint64_t value, int base) noexcept
    : size_(static_cast<size_t>(std::to_chars(digits_, digits_ + sizeof digits_, value, base).ptr - digits_))
{}

std::mutex& connectionLock() noexcept
{
    return connectMutex;
}

// The binding opens the wake-up pipe without close-on-exec; so that a program
// starting another one while a call runs does not hand it over, the pipe is
// marked here. Only descriptors that are pipes are touched.
CallObjects::Dispatcher::Dispatcher()
{
    for (int fd : dispatcher_._fdunlock) {
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) continue;
        int flags = fcntl(fd, F_GETFD);
        if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

// The call never enters the loop, so it is left here, after the connection
// has gone: leave() is what closes the pipe.
CallObjects::Dispatcher::~Dispatcher()
{
    try {
        dispatcher_.leave();
    } catch (...) {
        // leave() closes the pipe after its wake-up write, also when that write fails.
    }
}

CallObjects::InFlight::InFlight() noexcept : admission_(static_cast<int>(admitCall())) {}

CallObjects::InFlight::~InFlight()
{
    if (admission_ == static_cast<int>(Admission::Counted)) callsInFlight.fetch_sub(1);
}

void CallObjects::InFlight::check() const
{
    if (admission_ == static_cast<int>(Admission::NoMemory)) throw std::bad_alloc();
    if (admission_ == static_cast<int>(Admission::ForkedMidCall))
        throw std::runtime_error("forked while another thread was in a D-Bus call: no call before exec");
}

CallObjects::~CallObjects() = default;

DBus::Connection& CallObjects::open()
{
    inFlight_.check();
    try {
        dispatcher_.emplace();
    } catch (const DBus::Error&) {
        // The binding's error here carries a dangling message pointer; errno
        // still holds why the pipe could not be made.
        throw std::system_error(errno, std::generic_category(), "cannot create the dispatcher's wake-up pipe");
    }
    DBus::Dispatcher* mine = &dispatcher_->get();
    const char* address = systemBusAddress();
    {
        // The binding reads its default dispatcher only while a connection is
        // built; everything else of a call is the call's own.
        std::lock_guard<std::mutex> guard(connectMutex);
        DefaultDispatcherRestore restore;
        DBus::default_dispatcher = mine;
        connection_.emplace(address, true);
    }
    // Watched before Hello, so that a refused one leaves nothing behind.
    surplus_.watch(*connection_, mine);
    registerOnBus(*connection_);
    return *connection_;
}

void CallObjects::SurplusReference::onFinalised(void* flag)
{
    *static_cast<bool*>(flag) = true;
}

// The binding's own reference is gone by now; if libdbus has not finalised
// the connection, the surplus one still holds it and is dropped here, while
// the call's dispatcher still exists for libdbus to call back. The mark goes
// first: this frame and its flag end with the call.
CallObjects::SurplusReference::~SurplusReference()
{
#ifdef VORX_DBUSCXX_SURPLUS_REF
    if (conn_ == nullptr || finalised_) return;
    auto* conn = static_cast<DBusConnection*>(conn_);
    dbus_connection_set_data(conn, finalisedSlot(), nullptr, nullptr);
    dbus_connection_unref(conn);
#endif
}

void CallObjects::SurplusReference::watch(DBus::Connection& connection, const DBus::Dispatcher* attachedTo) noexcept
{
#ifdef VORX_DBUSCXX_SURPLUS_REF
    DBusConnection* conn = libdbusConnection(connection, attachedTo);
    dbus_int32_t slot = finalisedSlot();
    if (conn == nullptr || slot < 0) return;
    if (!dbus_connection_set_data(conn, slot, &finalised_, onFinalised)) return;
    conn_ = conn;
#else
    (void)connection;
    (void)attachedTo;
#endif
}

}  // namespace client
}  // namespace vorx
