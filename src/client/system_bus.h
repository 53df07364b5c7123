#ifndef VORX_CLIENT_SYSTEM_BUS_H
#define VORX_CLIENT_SYSTEM_BUS_H

#include <dbus-c++/dbus.h>

namespace vorx {
namespace client {

// The system bus's address as libdbus picks it: DBUS_SYSTEM_BUS_ADDRESS,
// unless it is unset or empty or the process is set-id, else libdbus's
// compiled-in default. Read once per process, as libdbus does.
const char* systemBusAddress();

// The bus's Hello on a connection opened by address, and its unique name kept
// on the connection: what dbus_bus_register() does, without the process-wide
// lock it holds over the exchange. Raises the binding's error when the bus
// refuses or does not answer.
void registerOnBus(DBus::Connection& connection);

}  // namespace client
}  // namespace vorx

#endif
