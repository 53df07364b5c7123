#ifndef VORX_CLIENT_CALL_FRAME_H
#define VORX_CLIENT_CALL_FRAME_H

#include <functional>
#include <ostream>

class LabelMgrClient;

namespace vorx {
namespace client {

// The one frame every exported client function runs its call in: takes the
// process-wide call lock, builds the dispatcher, the private system-bus
// connection and the client, runs `body` on the client, and tears it all down.
// Returns what `body` returns; when the binding raises DBus::Error (or the bus
// cannot be reached, or the dispatcher cannot be built) it writes
// "DBus error occurred: <message>" and std::endl to `errOut` and returns
// `busCode`. No exception of the binding leaves it.
int callService(int busCode, std::ostream& errOut, const std::function<int(LabelMgrClient&)>& body);

}  // namespace client
}  // namespace vorx

#endif
