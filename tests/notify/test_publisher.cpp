#include "test_publisher.h"

#include <zmq.h>

#include <cerrno>

namespace vorxtest {

const char kLabelEndpoint[] = "ipc:///tmp/vorx_label_manager.socket";

TestPublisher::TestPublisher(const std::string& endpoint)
{
    ctx_ = zmq_ctx_new();
    sock_ = ctx_ ? zmq_socket(ctx_, ZMQ_XPUB) : nullptr;
    if (!sock_) {
        error_ = std::string("XPUB socket: ") + zmq_strerror(errno);
        return;
    }
    int linger = 0, timeoutMs = 10000;
    zmq_setsockopt(sock_, ZMQ_LINGER, &linger, sizeof linger);
    zmq_setsockopt(sock_, ZMQ_RCVTIMEO, &timeoutMs, sizeof timeoutMs);
    if (zmq_bind(sock_, endpoint.c_str()) != 0) error_ = "bind " + endpoint + ": " + zmq_strerror(errno);
}

TestPublisher::~TestPublisher()
{
    if (sock_) zmq_close(sock_);
    if (ctx_) zmq_ctx_term(ctx_);
}

bool TestPublisher::awaitSubscriptions(size_t count)
{
    for (size_t seen = 0; seen < count;) {
        char buf[256];
        int n = zmq_recv(sock_, buf, sizeof buf, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n > 0 && buf[0] == 1) ++seen;
    }
    return true;
}

bool TestPublisher::send(const std::vector<std::string>& frames)
{
    for (size_t i = 0; i < frames.size(); ++i) {
        int flags = i + 1 < frames.size() ? ZMQ_SNDMORE : 0;
        if (zmq_send(sock_, frames[i].data(), frames[i].size(), flags) < 0) return false;
    }
    return true;
}

}  // namespace vorxtest
