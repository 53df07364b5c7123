#include <vorxlabelmgr/label_notify.h>
#include <vorxlabelmgr/zmq_socket.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "mount_ns.h"
#include "test_publisher.h"

extern char** environ;

namespace {

using vorxtest::TestPublisher;

class Subscription : public ::testing::Test {
protected:
    void SetUp() override
    {
        VORX_REQUIRE_MOUNT_NS();
        // A receive that never returns fails the case instead of stalling.
        alarm(30);
    }

    void TearDown() override
    {
        for (void* h : handles_) delete static_cast<ZMQSocket*>(h);
        pub_.reset();
        alarm(0);
    }

    void startPublisher()
    {
        pub_ = std::make_unique<TestPublisher>();
        ASSERT_EQ(pub_->error(), "");
    }

    void* subscriber(const std::vector<std::string>& topics)
    {
        void* h = createSubscriber();
        handles_.push_back(h);
        for (const std::string& t : topics) EXPECT_EQ(subscribeLabelChangeMsg(h, t), 0) << t;
        return h;
    }

    // The next body as the library hands it, checked for its terminator.
    static std::string next(void* h, size_t expectLen = std::string::npos)
    {
        char* body = nullptr;
        EXPECT_EQ(recvLabelChangeMsg(h, &body), 0);
        if (!body) return "<none>";
        size_t len = expectLen == std::string::npos ? std::strlen(body) : expectLen;
        std::string got(body, len);
        EXPECT_EQ(body[len], '\0');
        std::free(body);
        return got;
    }

    std::unique_ptr<TestPublisher> pub_;
    std::vector<void*> handles_;
};

TEST_F(Subscription, OnlyTopicsBeginningWithTheSubscribedOneArrive)
{
    startPublisher();
    void* h = subscriber({"label.file"});
    ASSERT_TRUE(pub_->awaitSubscriptions(1));
    const std::vector<std::vector<std::string>> sent = {
        {"label.proc", "other topic"}, {"label.fil", "shorter topic"},  {"", "empty topic"},
        {"label.file", "exact"},       {"xlabel.file", "not a prefix"}, {"label.file.oid", "prefixed"},
        {"LABEL.FILE", "other case"},  {"label.file", "last"},
    };
    for (const auto& m : sent) ASSERT_TRUE(pub_->send(m));
    EXPECT_EQ(next(h), "exact");
    EXPECT_EQ(next(h), "prefixed");
    EXPECT_EQ(next(h), "last");
}

TEST_F(Subscription, EmptyTopicTakesEveryMessage)
{
    startPublisher();
    void* h = subscriber({""});
    ASSERT_TRUE(pub_->awaitSubscriptions(1));
    for (const char* t : {"", "a", "label.file"}) ASSERT_TRUE(pub_->send({t, std::string("body of ") + t}));
    EXPECT_EQ(next(h), "body of ");
    EXPECT_EQ(next(h), "body of a");
    EXPECT_EQ(next(h), "body of label.file");
}

TEST_F(Subscription, TwoTopicsOnOneHandleEachArriveOnce)
{
    startPublisher();
    void* h = subscriber({"a.", "b."});
    ASSERT_TRUE(pub_->awaitSubscriptions(2));
    ASSERT_TRUE(pub_->send({"a.1", "A"}));
    ASSERT_TRUE(pub_->send({"c.1", "C"}));
    ASSERT_TRUE(pub_->send({"b.1", "B"}));
    ASSERT_TRUE(pub_->send({"a.2", "A2"}));
    // Subscribing twice connects twice; no message may come twice.
    EXPECT_EQ(next(h), "A");
    EXPECT_EQ(next(h), "B");
    EXPECT_EQ(next(h), "A2");
}

TEST_F(Subscription, BodyIsCopiedWholeWithTerminator)
{
    std::string everyByte;
    for (int i = 0; i < 256; ++i) everyByte.push_back(static_cast<char>(i));
    const std::vector<std::string> bodies = {
        "", std::string("a\0b\0", 4), std::string(1, '\0'), everyByte, std::string(1 << 20, 'x'),
    };
    startPublisher();
    void* h = subscriber({"t"});
    ASSERT_TRUE(pub_->awaitSubscriptions(1));
    for (const std::string& b : bodies) ASSERT_TRUE(pub_->send({"t", b}));
    for (const std::string& b : bodies) EXPECT_EQ(next(h, b.size()), b) << "body of " << b.size() << " bytes";
}

TEST_F(Subscription, PublisherMayComeAfterTheSubscription)
{
    testing::internal::CaptureStderr();
    void* h = subscriber({"label."});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    startPublisher();
    ASSERT_TRUE(pub_->awaitSubscriptions(1));
    ASSERT_TRUE(pub_->send({"label.file", "late"}));
    EXPECT_EQ(next(h), "late");
}

// A message of one frame, or of more than two, must not shift the messages
// after it: each later well-formed message still hands on its own body.
TEST_F(Subscription, MalformedMessagesDoNotShiftLaterOnes)
{
    startPublisher();
    void* h = subscriber({"t"});
    ASSERT_TRUE(pub_->awaitSubscriptions(1));
    const std::vector<std::vector<std::string>> sent = {
        {"t.lone"},         {"t", "one"},  {"t", "two", "extra", "more extra"}, {"t.lone"}, {"t.lone"},
        {"t", "three", ""}, {"t", "four"},
    };
    for (const auto& m : sent) ASSERT_TRUE(pub_->send(m));
    for (const char* want : {"one", "two", "three", "four"}) EXPECT_EQ(next(h), want);
}

TEST_F(Subscription, HandleThatCannotSubscribeOrReceiveReportsIt)
{
    // A publisher-type socket connects but refuses both subscription and receive.
    ZMQSocket* notSub = new ZMQSocket(ZMQSocket::PUB);
    handles_.push_back(notSub);

    testing::internal::CaptureStderr();
    EXPECT_EQ(subscribeLabelChangeMsg(notSub, "t"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Exception: Failed to set subscription filter.\n");

    char sentinel = 0;
    char* body = &sentinel;
    testing::internal::CaptureStderr();
    EXPECT_EQ(recvLabelChangeMsg(notSub, &body), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Exception: Failed to receive message.\n");
    EXPECT_EQ(body, &sentinel);
}

// Null handles and bodies are refused before libzmq is asked anything: no
// line, and the queued message is still there for the next call.
TEST_F(Subscription, NullHandleOrBodyIsMinusOneAtOnce)
{
    startPublisher();
    void* h = subscriber({"t"});
    ASSERT_TRUE(pub_->awaitSubscriptions(1));
    ASSERT_TRUE(pub_->send({"t", "still queued"}));
    // Give libzmq time to move the message into the subscriber's queue.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    char sentinel = 0;
    char* body = &sentinel;
    const struct {
        const char* what;
        std::function<int()> call;
    } cases[] = {
        {"subscribe, null handle", [] { return subscribeLabelChangeMsg(nullptr, "t"); }},
        {"receive, null handle", [&] { return recvLabelChangeMsg(nullptr, &body); }},
        {"receive, null body", [&] { return recvLabelChangeMsg(h, nullptr); }},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.call(), -1) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.what;
        EXPECT_EQ(body, &sentinel) << c.what;
    }
    EXPECT_EQ(next(h), "still queued");
}

// The caller's stream state neither shapes the failure lines nor is changed
// by them.
TEST_F(Subscription, FailureLinesIgnoreAndKeepTheStreamsFormat)
{
    ZMQSocket* notSub = new ZMQSocket(ZMQSocket::PUB);
    handles_.push_back(notSub);
    std::cerr << std::hex << std::showbase << std::setfill('*') << std::setw(60);
    const std::ios_base::fmtflags flags = std::cerr.flags();

    testing::internal::CaptureStderr();
    EXPECT_EQ(subscribeLabelChangeMsg(notSub, "t"), -1);
    char* body = nullptr;
    EXPECT_EQ(recvLabelChangeMsg(notSub, &body), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Exception: Failed to set subscription filter.\nException: Failed to receive message.\n");
    EXPECT_EQ(std::cerr.flags(), flags);
    EXPECT_EQ(std::cerr.width(), 60);
    EXPECT_EQ(std::cerr.fill(), '*');
    std::cerr.flags(std::ios_base::fmtflags());
    std::cerr.width(0);
    std::cerr.fill(' ');
}

// A failure line is one piece: another thread's output never lands inside it.
TEST_F(Subscription, FailureLinesStayWholeBesideAnotherThread)
{
    ZMQSocket* notSub = new ZMQSocket(ZMQSocket::PUB);
    handles_.push_back(notSub);
    const int kLines = 20000;
    testing::internal::CaptureStderr();
    // The other thread writes each of its lines in one piece too.
    std::thread other([] {
        for (int i = 0; i < kLines; ++i) std::cerr << std::to_string(i) + "\n";
    });
    for (int i = 0; i < kLines; ++i) {
        char* body = nullptr;
        recvLabelChangeMsg(notSub, &body);
    }
    other.join();
    std::string out = testing::internal::GetCapturedStderr();

    size_t ours = 0, broken = 0, start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = out.substr(start, end - start);
        if (line == "Exception: Failed to receive message.")
            ++ours;
        else if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos)
            ++broken;
    }
    EXPECT_EQ(ours, static_cast<size_t>(kLines));
    EXPECT_EQ(broken, 0u);
}

void onSignal(int) {}

TEST_F(Subscription, SignalInterruptsTheWaitAndTheHandleStaysUsable)
{
    startPublisher();
    void* h = subscriber({"t"});
    ASSERT_TRUE(pub_->awaitSubscriptions(1));

    struct sigaction sa = {};
    sa.sa_handler = onSignal;  // no SA_RESTART: the wait must see EINTR
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &sa, nullptr), 0);

    // Keep signalling until the receive returns: one sent before it blocks
    // would be lost.
    std::atomic<bool> done{false};
    pthread_t waiter = pthread_self();
    std::thread kicker([&] {
        while (!done) {
            pthread_kill(waiter, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    char sentinel = 0;
    char* body = &sentinel;
    testing::internal::CaptureStderr();
    int rc = recvLabelChangeMsg(h, &body);
    done = true;
    kicker.join();
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Exception: Failed to receive message.\n");
    EXPECT_EQ(body, &sentinel);

    ASSERT_TRUE(pub_->send({"t", "after the signal"}));
    EXPECT_EQ(next(h), "after the signal");
}

pid_t spawn(const std::vector<std::string>& args, int stdoutFd)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&fa, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

// The stand-in publisher and the listener, as a developer runs them, meet
// through the library at the fixed endpoint.
TEST_F(Subscription, PublisherToolReachesListenerTool)
{
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    pid_t listener = spawn({VORX_LABEL_LISTEN, "-c", "1", "label.file"}, fds[1]);
    close(fds[1]);
    ASSERT_GT(listener, 0);
    // Repeats (for at most 10 s, should this case die) so that the listener may
    // join at any point.
    pid_t publisher = spawn({VORX_LABEL_PUBLISHER, "-d", "0", "-n", "500", "-i", "20", "label.proc", "not this",
                             "label.file.oid", "changed /usr/bin/x"},
                            -1);
    ASSERT_GT(publisher, 0);

    std::string out;
    char buf[256];
    for (;;) {
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(listener, &status, 0), listener);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    kill(publisher, SIGTERM);
    ASSERT_EQ(waitpid(publisher, &status, 0), publisher);
    EXPECT_EQ(out, "changed /usr/bin/x\n");
}

}  // namespace
