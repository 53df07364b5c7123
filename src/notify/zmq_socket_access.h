#ifndef VORX_NOTIFY_ZMQ_SOCKET_ACCESS_H
#define VORX_NOTIFY_ZMQ_SOCKET_ACCESS_H

#include <sys/types.h>

#include <string>

#include <vorxlabelmgr/zmq_socket.h>

namespace vorx {
namespace notify {

// What the subscription code needs beyond the public wrapper: message
// boundaries. Internal, not exported.
struct ZMQSocketAccess {
    // Receives the first frame of the next message without copying it. True
    // with *uid set when libzmq names the uid its sender ran as when it bound
    // or connected (the kernel's peer credentials of an ipc connection); false
    // when the frame carries none. Throws "Failed to receive message.".
    static bool recvFirstFrame(ZMQSocket& s, uid_t* uid);

    // Leaves every connection to `endpoint` and connects to it again, so that
    // the socket reaches whoever holds the endpoint now. Subscriptions belong
    // to the socket and are sent to the new peer. Throws "Failed to connect
    // socket.".
    static void reconnect(ZMQSocket& s, const std::string& endpoint);

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
