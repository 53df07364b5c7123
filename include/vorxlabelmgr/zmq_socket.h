#ifndef VORXLABELMGR_ZMQ_SOCKET_H
#define VORXLABELMGR_ZMQ_SOCKET_H

#ifndef __cplusplus
#error "<vorxlabelmgr/zmq_socket.h> declares C++ functions and types: include it from C++"
#endif

#include <string>

#include <vorxlabelmgr/export.h>

namespace vorx {
namespace notify {
struct ZMQSocketAccess;
}
}  // namespace vorx

/*
 * One ZeroMQ context and one socket made on it, owned together. Every failure
 * libzmq reports is thrown as std::runtime_error with a fixed sentence (given
 * above each operation). No socket option is set besides subscriptions, so
 * linger, high-water marks and reconnection are libzmq's defaults. One thread
 * at a time per object.
 */
class VORX_EXPORT ZMQSocket {
public:
    /* libzmq's socket-type numbers, passed to zmq_socket() unchanged. */
    enum socketType {
        PAIR = 0,
        PUB = 1,
        SUB = 2,
        REQ = 3,
        REP = 4,
        DEALER = 5,
        ROUTER = 6,
        PULL = 7,
        PUSH = 8,
        XPUB = 9,
        XSUB = 10,
        STREAM = 11
    };

    /* Throws "Failed to create ZMQ context." or "Failed to create ZMQ socket."
     * (nothing is left behind). */
    explicit ZMQSocket(socketType type);
    /* Closes the socket, then destroys the context; waits as libzmq's default
     * linger makes it wait for frames not yet sent. */
    ~ZMQSocket();

    ZMQSocket(const ZMQSocket&) = delete;
    ZMQSocket& operator=(const ZMQSocket&) = delete;

    /* Throws "Failed to bind socket.". */
    void bind(const std::string& endpoint);
    /* Returns without waiting for the peer. Throws "Failed to connect socket.". */
    void connect(const std::string& endpoint);
    /* Sends one frame of exactly data.size() bytes; more = true marks it as
     * not the last of its message. Blocks as long as libzmq's blocking send.
     * Throws "Failed to send message.". */
    void send(const std::string& data, bool more);
    /* Waits without time-out for one frame and returns its bytes (NUL bytes
     * included). Throws "Failed to receive message.". */
    std::string recv();
    /* Adds one subscription prefix; "" matches every message. Throws "Failed
     * to set subscription filter.". */
    void subscribe(const std::string& prefix);

private:
    friend struct vorx::notify::ZMQSocketAccess;

    void* context;
    void* socket;
};

#endif
