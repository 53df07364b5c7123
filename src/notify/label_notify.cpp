#include <vorxlabelmgr/label_notify.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <stdexcept>

#include <vorxlabelmgr/zmq_socket.h>

#include "notify/zmq_socket_access.h"

using vorx::notify::ZMQSocketAccess;

namespace {

const char kEndpoint[] = "ipc:///tmp/vorx_label_manager.socket";

// The body of the next message of at least two frames. A single frame is not
// a notification; pairing it with the next message's topic would shift every
// later message by one frame, so boundaries decide what is topic and body.
// Only the wait for a topic gives way to a signal: once it has come, the rest
// of its message is already queued and is taken whole.
std::string nextBody(ZMQSocket& s)
{
    // A receive that failed mid-message earlier leaves its rest queued.
    if (!ZMQSocketAccess::discardRest(s)) throw std::runtime_error("Failed to receive message.");
    for (;;) {
        s.recv();  // topic: matched by libzmq, not read here
        if (!ZMQSocketAccess::moreFrames(s)) continue;
        std::string body = ZMQSocketAccess::recvRest(s);
        // Frames beyond the body belong to this message; a failure here leaves
        // them for the next call to drop.
        ZMQSocketAccess::discardRest(s);
        return body;
    }
}

}  // namespace

void* createSubscriber()
{
    return new ZMQSocket(ZMQSocket::SUB);
}

int subscribeLabelChangeMsg(void* handle, const std::string& topic)
{
    try {
        ZMQSocket* s = static_cast<ZMQSocket*>(handle);
        std::string endpoint(kEndpoint);
        s->connect(endpoint);
        s->subscribe(topic);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "Exception: " << e.what() << std::endl;
        return -1;
    }
}

int recvLabelChangeMsg(void* handle, char** body)
{
    std::string data;
    try {
        data = nextBody(*static_cast<ZMQSocket*>(handle));
    } catch (const std::exception& e) {
        std::cerr << "Exception: " << e.what() << std::endl;
        return -1;
    }
    *body = static_cast<char*>(std::malloc(data.size() + 1));
    if (!*body) {
        std::cerr << "malloc error." << std::endl;
        return -1;
    }
    std::memcpy(*body, data.data(), data.size());
    (*body)[data.size()] = '\0';
    return 0;
}
