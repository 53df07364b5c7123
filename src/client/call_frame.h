#ifndef VORX_CLIENT_CALL_FRAME_H
#define VORX_CLIENT_CALL_FRAME_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <ostream>
#include <string_view>
#include <type_traits>
#include <utility>

// The client object of one call (labelmgr_proxy.h).
class LabelMgrClient;

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

// A callable handed down to the frame, neither copied nor allocated: it must
// outlive the call it is passed to.
template <typename Signature>
class CallableRef;

template <typename R, typename... Args>
class CallableRef<R(Args...)> {
public:
    template <typename F>
    explicit CallableRef(F& callable) noexcept
        : callable_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          invoke_([](void* c, Args... args) -> R {
              if constexpr (std::is_void<R>::value)
                  (*static_cast<F*>(c))(std::forward<Args>(args)...);
              else
                  return (*static_cast<F*>(c))(std::forward<Args>(args)...);
          })
    {}
    R operator()(Args... args) const { return invoke_(callable_, std::forward<Args>(args)...); }

private:
    void* callable_;
    R (*invoke_)(void*, Args...);
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
int runFrame(int busCode, std::ostream& errOut, CallableRef<void()> prepare,
             CallableRef<int(LabelMgrClient&)> body) noexcept;

template <typename Prepare, typename Body>
int callService(int busCode, std::ostream& errOut, Prepare&& prepare, Body&& body) noexcept
{
    return runFrame(busCode, errOut, CallableRef<void()>(prepare), CallableRef<int(LabelMgrClient&)>(body));
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
