#include <vorxlabelmgr/zmq_socket.h>

#include <zmq.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "notify/zmq_socket_access.h"

static_assert(ZMQSocket::PAIR == ZMQ_PAIR && ZMQSocket::PUB == ZMQ_PUB && ZMQSocket::SUB == ZMQ_SUB &&
                  ZMQSocket::REQ == ZMQ_REQ && ZMQSocket::REP == ZMQ_REP && ZMQSocket::DEALER == ZMQ_DEALER &&
                  ZMQSocket::ROUTER == ZMQ_ROUTER && ZMQSocket::PULL == ZMQ_PULL && ZMQSocket::PUSH == ZMQ_PUSH &&
                  ZMQSocket::XPUB == ZMQ_XPUB && ZMQSocket::XSUB == ZMQ_XSUB && ZMQSocket::STREAM == ZMQ_STREAM,
              "socketType must carry libzmq's own numbers");

namespace {

// One libzmq message, initialised here and closed on every way out, also when
// copying it out throws.
class Frame {
public:
    // An empty frame to receive into.
    Frame() { zmq_msg_init(&msg_); }

    // A frame holding a copy of `bytes`, to send. A frame that cannot be built
    // is a send that did not happen.
    explicit Frame(const std::string& bytes)
    {
        if (zmq_msg_init_size(&msg_, bytes.size()) != 0) throw std::runtime_error("Failed to send message.");
        if (!bytes.empty()) std::memcpy(zmq_msg_data(&msg_), bytes.data(), bytes.size());
    }

    ~Frame() { zmq_msg_close(&msg_); }

    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    zmq_msg_t* get() { return &msg_; }

    std::string bytes() { return std::string(static_cast<const char*>(zmq_msg_data(&msg_)), zmq_msg_size(&msg_)); }

private:
    zmq_msg_t msg_;
};

// Receives into `f`; a signal is no failure here, as the caller is inside a
// message whose frames libzmq has queued together.
bool recvInsideMessage(void* socket, Frame& f)
{
    for (;;) {
        if (zmq_recvmsg(socket, f.get(), 0) != -1) return true;
        if (errno != EINTR) return false;
    }
}

// The uid in libzmq's "Peer-Address" of an ipc peer, "<host>:<uid>:<gid>:<pid>".
// Only the last three fields are read: the host part is not ours to parse.
bool peerUid(zmq_msg_t* msg, uid_t* uid)
{
    const char* addr = zmq_msg_gets(msg, "Peer-Address");
    if (!addr) return false;
    std::string_view rest(addr), field;
    for (int i = 0; i < 3; ++i) {  // pid, gid, then uid
        const size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) return false;
        field = rest.substr(colon + 1);
        if (field.empty() || field.find_first_not_of("0123456789") != std::string_view::npos) return false;
        rest = rest.substr(0, colon);
    }
    uint64_t value = 0;
    if (std::from_chars(field.data(), field.data() + field.size(), value).ec != std::errc() ||
        value >= static_cast<uid_t>(-1))
        return false;
    *uid = static_cast<uid_t>(value);
    return true;
}

}  // namespace

ZMQSocket::ZMQSocket(socketType type) : context(nullptr), socket(nullptr)
{
    context = zmq_ctx_new();
    if (!context) throw std::runtime_error("Failed to create ZMQ context.");
    socket = zmq_socket(context, type);
    if (!socket) {
        zmq_ctx_destroy(context);
        throw std::runtime_error("Failed to create ZMQ socket.");
    }
}

ZMQSocket::~ZMQSocket()
{
    if (socket) zmq_close(socket);
    if (context) zmq_ctx_destroy(context);
}

void ZMQSocket::bind(const std::string& endpoint)
{
    if (zmq_bind(socket, endpoint.c_str()) != 0) throw std::runtime_error("Failed to bind socket.");
}

void ZMQSocket::connect(const std::string& endpoint)
{
    if (zmq_connect(socket, endpoint.c_str()) != 0) throw std::runtime_error("Failed to connect socket.");
}

void ZMQSocket::send(const std::string& data, bool more)
{
    Frame f(data);
    // On success libzmq has taken the content and left the frame empty.
    if (zmq_sendmsg(socket, f.get(), more ? ZMQ_SNDMORE : 0) == -1) throw std::runtime_error("Failed to send message.");
}

std::string ZMQSocket::recv()
{
    Frame f;
    if (zmq_recvmsg(socket, f.get(), 0) == -1) throw std::runtime_error("Failed to receive message.");
    return f.bytes();
}

void ZMQSocket::subscribe(const std::string& prefix)
{
    if (zmq_setsockopt(socket, ZMQ_SUBSCRIBE, prefix.data(), prefix.size()) != 0)
        throw std::runtime_error("Failed to set subscription filter.");
}

namespace vorx {
namespace notify {

bool ZMQSocketAccess::recvFirstFrame(ZMQSocket& s, uid_t* uid)
{
    Frame f;
    if (zmq_recvmsg(s.socket, f.get(), 0) == -1) throw std::runtime_error("Failed to receive message.");
    return peerUid(f.get(), uid);
}

void ZMQSocketAccess::reconnect(ZMQSocket& s, const std::string& endpoint)
{
    // Not connected any more is no failure: what matters is the new connection.
    zmq_disconnect(s.socket, endpoint.c_str());
    if (zmq_connect(s.socket, endpoint.c_str()) != 0) throw std::runtime_error("Failed to connect socket.");
}

bool ZMQSocketAccess::moreFrames(ZMQSocket& s)
{
    int more = 0;
    size_t len = sizeof more;
    if (zmq_getsockopt(s.socket, ZMQ_RCVMORE, &more, &len) != 0) throw std::runtime_error("Failed to receive message.");
    return more != 0;
}

std::string ZMQSocketAccess::recvRest(ZMQSocket& s)
{
    Frame f;
    if (!recvInsideMessage(s.socket, f)) throw std::runtime_error("Failed to receive message.");
    return f.bytes();
}

bool ZMQSocketAccess::discardRest(ZMQSocket& s)
{
    for (;;) {
        int more = 0;
        size_t len = sizeof more;
        if (zmq_getsockopt(s.socket, ZMQ_RCVMORE, &more, &len) != 0) return false;
        if (!more) return true;
        Frame f;
        if (!recvInsideMessage(s.socket, f)) return false;
    }
}

}  // namespace notify
}  // namespace vorx
