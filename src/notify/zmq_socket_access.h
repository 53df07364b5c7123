#ifndef VORX_NOTIFY_ZMQ_SOCKET_ACCESS_H
#define VORX_NOTIFY_ZMQ_SOCKET_ACCESS_H

#include <string>

#include <vorxlabelmgr/zmq_socket.h>

namespace vorx {
namespace notify {

// What the subscription code needs beyond the public wrapper: message
// boundaries. Internal, not exported.
struct ZMQSocketAccess {
    // Whether the frame received last has further frames in its message.
    // Throws "Failed to receive message." when libzmq cannot tell.
    static bool moreFrames(ZMQSocket& s);

    // The next frame of a message whose first frame has been received. libzmq
    // hands over a message's frames together, so an interrupted receive is
    // retried rather than leaving the message half-read. Throws "Failed to
    // receive message." on any other failure.
    static std::string recvRest(ZMQSocket& s);

    // Drops the rest of the current message without copying it, retrying
    // interrupted receives. False when a receive fails; the rest then stays
    // queued.
    static bool discardRest(ZMQSocket& s);
};

}  // namespace notify
}  // namespace vorx

#endif
