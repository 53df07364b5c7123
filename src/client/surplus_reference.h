#ifndef VORX_CLIENT_SURPLUS_REFERENCE_H
#define VORX_CLIENT_SURPLUS_REFERENCE_H

#include <dbus-c++/dbus.h>

namespace vorx {
namespace client {

// The binding takes one reference too many on every connection, so that
// libdbus's connection object (some 8.5 KB) would stay for ever. This drops
// it, once the binding has let go of the connection, unless libdbus finalised
// that connection already. Only for the binding releases whose connection
// record was checked at configure time; on any other it does nothing.
class SurplusReference {
public:
    SurplusReference() noexcept {}
    // Drops the reference, while the dispatcher the connection was attached
    // to still exists for libdbus to call back.
    ~SurplusReference();
    SurplusReference(const SurplusReference&) = delete;
    SurplusReference& operator=(const SurplusReference&) = delete;

    // Takes charge of `connection`, attached to `attachedTo`; leaves it alone
    // unless the binding's private record looks exactly as expected.
    void watch(DBus::Connection& connection, const DBus::Dispatcher* attachedTo) noexcept;

private:
    static void onFinalised(void* flag);
    void* conn_ = nullptr;
    bool finalised_ = false;
};

}  // namespace client
}  // namespace vorx

#endif
