#include <vorxlabelmgr/label_notify.h>
#include <vorxlabelmgr/zmq_socket.h>

#include <sys/resource.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "mount_ns.h"

static_assert(!std::is_copy_constructible<ZMQSocket>::value, "one owner per context and socket");
static_assert(!std::is_copy_assignable<ZMQSocket>::value, "one owner per context and socket");

namespace {

struct FailureCase {
    const char* name;
    std::function<void()> action;
    const char* text;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class WrapperFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WrapperFailure, ThrowsItsFixedSentence)
{
    try {
        GetParam().action();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WrapperFailure,
    ::testing::Values(
        FailureCase{"Bind", [] { ZMQSocket(ZMQSocket::PUB).bind("no-such-transport"); }, "Failed to bind socket."},
        FailureCase{"Connect", [] { ZMQSocket(ZMQSocket::SUB).connect("ipc://"); }, "Failed to connect socket."},
        FailureCase{"Subscribe", [] { ZMQSocket(ZMQSocket::PUB).subscribe("t"); },
                    "Failed to set subscription filter."},
        FailureCase{"Send", [] { ZMQSocket(ZMQSocket::SUB).send("x", false); }, "Failed to send message."},
        FailureCase{"Recv", [] { ZMQSocket(ZMQSocket::PUB).recv(); }, "Failed to receive message."},
        FailureCase{"SocketType", [] { ZMQSocket s(static_cast<ZMQSocket::socketType>(99)); },
                    "Failed to create ZMQ socket."}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

std::string whatOf(const std::exception_ptr& p)
{
    if (!p) return "<no exception>";
    try {
        std::rethrow_exception(p);
    } catch (const std::runtime_error& e) {
        return e.what();
    } catch (...) {
        return "<not a runtime_error>";
    }
}

// libzmq cannot make a context without a descriptor for its mailbox.
TEST(Wrapper, NoDescriptorLeftMeansNoContext)
{
    testing::internal::CaptureStderr();
    int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);

    // Looked at only once the limit is back: the sanitizers need descriptors
    // of their own to inspect an exception object.
    std::exception_ptr direct, viaSubscriber;
    try {
        ZMQSocket s(ZMQSocket::SUB);
    } catch (...) {
        direct = std::current_exception();
    }
    try {
        void* h = createSubscriber();
        delete static_cast<ZMQSocket*>(h);
    } catch (...) {
        viaSubscriber = std::current_exception();
    }
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    std::string written = testing::internal::GetCapturedStderr();

    EXPECT_EQ(whatOf(direct), "Failed to create ZMQ context.");
    EXPECT_EQ(whatOf(viaSubscriber), "Failed to create ZMQ context.");
    EXPECT_EQ(written, "");
}

// Frames go through byte for byte: empty frames, NUL bytes and a message of
// two frames built with send(.., true) then send(.., false).
TEST(Wrapper, FramesRoundTripExactly)
{
    VORX_REQUIRE_MOUNT_NS();
    alarm(30);
    const std::string endpoint = "ipc:///tmp/wrapper.sock";
    ZMQSocket pub(ZMQSocket::XPUB);
    pub.bind(endpoint);
    ZMQSocket sub(ZMQSocket::SUB);
    sub.connect(endpoint);
    sub.subscribe(std::string("t\0", 2));
    // XPUB hands the subscription up: its prefix's bytes, NUL included.
    EXPECT_EQ(pub.recv(), std::string("\x01t\0", 3));

    const std::string nul("a\0b", 3);
    pub.send(std::string("t\0", 2), true);
    pub.send("", false);
    pub.send(std::string("t\0x", 3), true);
    pub.send(nul, true);
    pub.send("", false);
    pub.send("u", true);  // not subscribed
    pub.send("dropped", false);
    pub.send(std::string("t\0", 2), true);
    pub.send("end", false);

    EXPECT_EQ(sub.recv(), std::string("t\0", 2));
    EXPECT_EQ(sub.recv(), "");
    EXPECT_EQ(sub.recv(), std::string("t\0x", 3));
    EXPECT_EQ(sub.recv(), nul);
    EXPECT_EQ(sub.recv(), "");
    EXPECT_EQ(sub.recv(), std::string("t\0", 2));
    EXPECT_EQ(sub.recv(), "end");
    alarm(0);
}

}  // namespace
