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
//
// Every other exception is reported the same way (its what() after the same
// prefix, "out of memory" for std::bad_alloc) so that none reaches a C caller.
// A string argument that is not valid UTF-8 fails the call before anything is
// sent, with a message naming the argument.
int callService(int busCode, std::ostream& errOut, const std::function<int(LabelMgrClient&)>& body);

// The same, running `prepare` once the connection is open and before the
// client is built (e.g. zeroing an out-record, so that a refused match rule
// leaves it zero while an unreachable bus leaves it untouched).
int callService(int busCode, std::ostream& errOut, const std::function<void()>& prepare,
                const std::function<int(LabelMgrClient&)>& body);

}  // namespace client
}  // namespace vorx

#endif
