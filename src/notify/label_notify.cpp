#include <vorxlabelmgr/label_notify.h>

#include <cxxabi.h>
#include <unistd.h>

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

// The endpoint lies in a directory every local user may write to, so anyone
// can bind it while the real publisher is down. Only root, or whoever this
// process already acts as, speaks for the framework.
bool trustedPublisher(bool known, uid_t uid)
{
    return known && (uid == 0 || uid == geteuid());
}

// The body of the next message of at least two frames from a trusted
// publisher. A single frame is not a notification; pairing it with the next
// message's topic would shift every later message by one frame, so boundaries
// decide what is topic and body. Only the wait for a topic gives way to a
// signal: once it has come, the rest of its message is already queued and is
// taken whole.
std::string nextBody(ZMQSocket& s)
{
    // A receive that failed mid-message earlier leaves its rest queued.
    if (!ZMQSocketAccess::discardRest(s)) throw std::runtime_error("Failed to receive message.");
    for (;;) {
        uid_t uid = 0;
        bool known = ZMQSocketAccess::recvFirstFrame(s, &uid);  // topic: matched by libzmq, not read here
        if (!trustedPublisher(known, uid)) {
            if (!ZMQSocketAccess::discardRest(s)) throw std::runtime_error("Failed to receive message.");
            // The connection may be to a socket that a publisher bound before
            // the real one replaced it at the path; libzmq would stay with it
            // for as long as its holder keeps it open.
            ZMQSocketAccess::reconnect(s, kEndpoint);
            continue;
        }
        if (!ZMQSocketAccess::moreFrames(s)) continue;
        std::string body = ZMQSocketAccess::recvRest(s);
        // Frames beyond the body belong to this message; a failure here leaves
        // them for the next call to drop.
        ZMQSocketAccess::discardRest(s);
        return body;
    }
}

// The line goes out in one write, so that another thread's output cannot land
// inside it, and unformatted, so that the stream's width, fill and flags
// neither shape it nor are changed by it. A stream that fails, or throws
// because its owner asked it to, costs the line and nothing else. A line that
// fits is built on the stack, so that "malloc error." and the reason of a
// failed allocation still go out when the heap has no room.
void writeLine(const char* head, const char* text)
{
    std::ostream& err = std::cerr;
    size_t headLen = std::strlen(head), textLen = std::strlen(text);
    char buf[512];
    try {
        if (headLen + textLen < sizeof buf) {
            std::memcpy(buf, head, headLen);
            std::memcpy(buf + headLen, text, textLen);
            buf[headLen + textLen] = '\n';
            err.write(buf, static_cast<std::streamsize>(headLen + textLen + 1));
        } else {
            std::string line;
            line.reserve(headLen + textLen + 1);
            line.append(head, headLen).append(text, textLen).push_back('\n');
            err.write(line.data(), static_cast<std::streamsize>(line.size()));
        }
        err.flush();
    } catch (abi::__forced_unwind&) {
        throw;  // thread cancellation must run to its end
    } catch (...) {
    }
}

// The one guard of both calls: a standard exception's reason on standard
// error and -1, anything else -1 alone; cancellation runs to its end.
template <typename Body>
int failsAsMinusOne(Body&& body)
{
    try {
        return body();
    } catch (const std::exception& e) {
        writeLine("Exception: ", e.what());
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
    }
    return -1;
}

}  // namespace

void* createSubscriber()
{
    return new ZMQSocket(ZMQSocket::SUB);
}

int subscribeLabelChangeMsg(void* handle, const std::string& topic)
{
    if (!handle) return -1;
    return failsAsMinusOne([&] {
        ZMQSocket* s = static_cast<ZMQSocket*>(handle);
        std::string endpoint(kEndpoint);
        s->connect(endpoint);
        s->subscribe(topic);
        return 0;
    });
}

int recvLabelChangeMsg(void* handle, char** body)
{
    if (!handle || !body) return -1;
    std::string data;
    int rc = failsAsMinusOne([&] {
        data = nextBody(*static_cast<ZMQSocket*>(handle));
        return 0;
    });
    if (rc != 0) return rc;
    *body = static_cast<char*>(std::malloc(data.size() + 1));
    if (!*body) {
        writeLine("malloc error.", "");
        return -1;
    }
    std::memcpy(*body, data.data(), data.size());
    (*body)[data.size()] = '\0';
    return 0;
}
