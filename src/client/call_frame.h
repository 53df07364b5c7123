#ifndef VORX_CLIENT_CALL_FRAME_H
#define VORX_CLIENT_CALL_FRAME_H

#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <mutex>
#include <new>
#include <optional>
#include <ostream>
#include <string_view>

#include <dbus-c++/dbus.h>

#include "client/label_mgr_client.h"

namespace vorx {
namespace client {

// What a client function returns when memory cannot be had (see the public
// header); never a bus code, never with an error line.
constexpr int kAllocationFailed = -3;

// Writes `parts` and a newline to `out` in one piece, then flushes, so that
// the lines of two threads never mix; the stream's format state is neither
// read nor changed.
void writeLine(std::ostream& out, std::initializer_list<std::string_view> parts) noexcept;

// "DBus error occurred: <message>", as writeLine() writes it.
void writeErrorLine(std::ostream& out, const char* message) noexcept;

// An unsigned integer in lowercase hexadecimal or in decimal, with no prefix
// and no leading zeros, whatever any stream's state.
class IntegerText {
public:
    IntegerText(uint64_t value, int base) noexcept;
    operator std::string_view() const noexcept { return std::string_view(digits_, size_); }

private:
    char digits_[24];
    size_t size_;
};
inline IntegerText hexText(uint64_t value) noexcept
{
    return IntegerText(value, 16);
}
inline IntegerText decimalText(uint64_t value) noexcept
{
    return IntegerText(value, 10);
}

// Held only while the binding's process-wide default dispatcher designates a
// call's own dispatcher, that is while its connection is being built; the
// rest of every call runs unlocked. A child of fork() gets it unlocked.
std::mutex& connectionLock() noexcept;

// The dispatcher and private system-bus connection of one call. Destroyed in
// reverse order: the connection, the binding's surplus reference on it, then
// the dispatcher (whose wake-up pipe only leave() closes).
class CallObjects {
public:
    CallObjects() = default;
    ~CallObjects();
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
        int admission_;
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

    // Drops the reference the binding takes too many on a connection, once the
    // binding has let go of it, unless libdbus finalised that connection
    // already. Does nothing where the binding's version was not checked.
    class SurplusReference {
    public:
        SurplusReference() noexcept {}
        ~SurplusReference();
        SurplusReference(const SurplusReference&) = delete;
        SurplusReference& operator=(const SurplusReference&) = delete;
        void watch(DBus::Connection& connection, const DBus::Dispatcher* attachedTo) noexcept;

    private:
        static void onFinalised(void* flag);
        void* conn_ = nullptr;
        bool finalised_ = false;
    };

    InFlight inFlight_;
    std::optional<Dispatcher> dispatcher_;
    SurplusReference surplus_;
    std::optional<DBus::Connection> connection_;
};

// The one frame of every exported client function, and its one guard: builds
// the call's dispatcher, connection and client, runs `prepare` once the
// connection is open and before the client exists (e.g. zeroing an
// out-record), then `body` on the client, and tears it all down. Returns what
// `body` returns. Any exception ends the call: a failed allocation gives
// kAllocationFailed; anything else (the binding's error, an unreachable bus, a
// dispatcher that cannot be built) writes the error line to `errOut` and gives
// `busCode`. The connection outlives the handler, so a failed call has its
// match rules removed before its error line and is closed after it.
template <typename Prepare, typename Body>
int callService(int busCode, std::ostream& errOut, Prepare&& prepare, Body&& body) noexcept
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

template <typename Body>
int callService(int busCode, std::ostream& errOut, Body&& body) noexcept
{
    return callService(
        busCode, errOut, [] {}, body);
}

}  // namespace client
}  // namespace vorx

#endif
