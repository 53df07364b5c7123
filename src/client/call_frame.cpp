#include "client/call_frame.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cerrno>
#include <new>
#include <optional>
#include <string>
#include <stdexcept>
#include <system_error>

#include <dbus-c++/dbus.h>

#include "client/labelmgr_proxy.h"
#include "client/surplus_reference.h"
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

// The dispatcher and private system-bus connection of one call. Destroyed in
// reverse order: the connection, the binding's surplus reference on it, then
// the dispatcher (whose wake-up pipe only leave() closes).
class CallObjects {
public:
    CallObjects() = default;
    CallObjects(const CallObjects&) = delete;
    CallObjects& operator=(const CallObjects&) = delete;

    // Builds both, with the default dispatcher put back before it returns.
    // Raises the binding's error when the bus cannot be reached or refuses
    // Hello, a std::system_error when the dispatcher's pipe cannot be made,
    // and a std::runtime_error, before touching libdbus, in a child forked
    // while another thread's call was in flight.
    DBus::Connection& open();

private:
    // Counts this call as in flight for the whole time it may be inside
    // libdbus, unless the process is a child forked while one was.
    class InFlight {
    public:
        InFlight() noexcept;
        ~InFlight();
        InFlight(const InFlight&) = delete;
        InFlight& operator=(const InFlight&) = delete;
        // Raises what keeps this call from being made.
        void check() const;

    private:
        const Admission admission_;
    };

    class Dispatcher {
    public:
        Dispatcher();
        ~Dispatcher();
        Dispatcher(const Dispatcher&) = delete;
        Dispatcher& operator=(const Dispatcher&) = delete;
        DBus::BusDispatcher& get() { return dispatcher_; }

    private:
        DBus::BusDispatcher dispatcher_;
    };

    InFlight inFlight_;
    std::optional<Dispatcher> dispatcher_;
    SurplusReference surplus_;
    std::optional<DBus::Connection> connection_;
};

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

CallObjects::InFlight::InFlight() noexcept : admission_(admitCall()) {}

CallObjects::InFlight::~InFlight()
{
    if (admission_ == Admission::Counted) callsInFlight.fetch_sub(1);
}

void CallObjects::InFlight::check() const
{
    if (admission_ == Admission::NoMemory) throw std::bad_alloc();
    if (admission_ == Admission::ForkedMidCall)
        throw std::runtime_error("forked while another thread was in a D-Bus call: no call before exec");
}

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

int runFrame(int busCode, std::ostream& errOut, CallableRef<void()> prepare,
             CallableRef<int(LabelMgrClient&)> body) noexcept
{
    CallObjects call;
    try {
        DBus::Connection& connection = call.open();
        prepare();
        LabelMgrClient client(connection, LABELMGR_OBJECT_PATH, LABELMGR_SERVICE_NAME);
        return body(client);
    } catch (const std::bad_alloc&) {
        return kAllocationFailed;
    } catch (const std::exception& e) {
        writeErrorLine(errOut, e.what());
    } catch (...) {
        writeErrorLine(errOut, "unexpected failure");
    }
    return busCode;
}

}  // namespace client
}  // namespace vorx
