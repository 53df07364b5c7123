// Receives that a signal interrupts, against a real publisher socket. An
// interruption once a message's first frame is in must cost nothing; one while
// waiting for a message is the caller's -1 and its line, and costs nothing
// either.
#include <vorxlabelmgr/label_notify.h>
#include <vorxlabelmgr/zmq_socket.h>

#include <dlfcn.h>
#include <signal.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#include <zmq.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "mount_ns.h"
#include "test_publisher.h"

namespace {

// Which receives of the library fail once with EINTR, as if a signal came.
enum class Interrupt { None, FirstFrame, LaterFrames };

std::atomic<Interrupt> gInterrupt{Interrupt::None};
std::atomic<int> gInterrupted{0};
bool gLastInterrupted = false;  // the receiving thread's alone

using RecvMsg = int (*)(void*, zmq_msg_t*, int);

RecvMsg libzmqRecvMsg()
{
    static RecvMsg real = reinterpret_cast<RecvMsg>(dlsym(RTLD_NEXT, "zmq_recvmsg"));
    return real;
}

}  // namespace

// The library calls libzmq from the shared library, so this definition in the
// executable comes first in the dynamic linker's lookup and sees every receive.
extern "C" int zmq_recvmsg(void* socket, zmq_msg_t* msg, int flags)
{
    Interrupt mode = gInterrupt.load();
    if (mode != Interrupt::None && !gLastInterrupted) {
        int more = 0;
        size_t len = sizeof more;
        bool insideMessage = zmq_getsockopt(socket, ZMQ_RCVMORE, &more, &len) == 0 && more != 0;
        if (insideMessage == (mode == Interrupt::LaterFrames)) {
            // The frame stays queued, as with libzmq's own EINTR.
            gLastInterrupted = true;
            ++gInterrupted;
            errno = EINTR;
            return -1;
        }
    }
    gLastInterrupted = false;
    return libzmqRecvMsg()(socket, msg, flags);
}

namespace {

using vorxtest::TestPublisher;

const char kInterruptedLine[] = "Exception: Failed to receive message.\n";

// A stream with the malformed messages mixed in: lone frames (no notification)
// and messages with frames after the body (dropped with their message).
struct Stream {
    std::vector<std::vector<std::string>> messages;
    std::vector<std::string> bodies;   // what must arrive, in order
    std::vector<size_t> bodiesBefore;  // of each message
    size_t laterFrames = 0;            // frames after the first, all messages

    explicit Stream(size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            std::string body = "m" + std::to_string(i);
            bodiesBefore.push_back(bodies.size());
            if (i % 7 == 3) {
                messages.push_back({"t.lone"});
                continue;
            }
            if (i % 5 == 1)
                messages.push_back({"t", body, "extra", ""});
            else
                messages.push_back({"t", body});
            bodies.push_back(body);
            laterFrames += messages.back().size() - 1;
        }
    }
};

class InterruptedReceive : public ::testing::Test {
protected:
    void SetUp() override
    {
        VORX_REQUIRE_MOUNT_NS();
        alarm(30);
        gInterrupted = 0;
        gLastInterrupted = false;
        pub_ = std::make_unique<TestPublisher>();
        ASSERT_EQ(pub_->error(), "");
        handle_ = createSubscriber();
        ASSERT_EQ(subscribeLabelChangeMsg(handle_, "t"), 0);
        ASSERT_TRUE(pub_->awaitSubscriptions(1));
    }

    void TearDown() override
    {
        gInterrupt = Interrupt::None;
        delete static_cast<ZMQSocket*>(handle_);
        pub_.reset();
        alarm(0);
    }

    // Calls recvLabelChangeMsg until `want` bodies came or `maxCalls` were
    // made (a lost message would leave the last call waiting for ever); counts
    // the calls that gave -1, each of which must leave the pointer alone.
    std::vector<std::string> receive(size_t want, size_t maxCalls, size_t* failures)
    {
        std::vector<std::string> got;
        *failures = 0;
        for (size_t calls = 0; got.size() < want && calls < maxCalls; ++calls) {
            char sentinel = 0;
            char* body = &sentinel;
            if (recvLabelChangeMsg(handle_, &body) == 0) {
                got.emplace_back(body);
                std::free(body);
                received_.fetch_add(1);
            } else {
                EXPECT_EQ(body, &sentinel);
                ++*failures;
            }
        }
        return got;
    }

    std::unique_ptr<TestPublisher> pub_;
    void* handle_ = nullptr;
    std::atomic<size_t> received_{0};
};

TEST_F(InterruptedReceive, SignalAfterTheTopicLosesNoMessage)
{
    Stream stream(300);
    for (const auto& m : stream.messages) ASSERT_TRUE(pub_->send(m));

    gInterrupt = Interrupt::LaterFrames;
    testing::internal::CaptureStderr();
    size_t failures = 0;
    std::vector<std::string> got = receive(stream.bodies.size(), stream.bodies.size(), &failures);
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(got, stream.bodies) << stream.bodies.size() - got.size() << " messages lost";
    EXPECT_EQ(failures, 0u);
    EXPECT_EQ(err, "");
    // Every body and every frame after it was interrupted once.
    EXPECT_EQ(gInterrupted.load(), static_cast<int>(stream.laterFrames));
}

TEST_F(InterruptedReceive, SignalBeforeTheTopicIsMinusOneAndLosesNoMessage)
{
    Stream stream(300);
    for (const auto& m : stream.messages) ASSERT_TRUE(pub_->send(m));

    gInterrupt = Interrupt::FirstFrame;
    testing::internal::CaptureStderr();
    size_t failures = 0;
    std::vector<std::string> got =
        receive(stream.bodies.size(), stream.messages.size() + stream.bodies.size(), &failures);
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(got, stream.bodies) << stream.bodies.size() - got.size() << " messages lost";
    // The wait for each message, lone frames included, was interrupted once.
    EXPECT_EQ(failures, stream.messages.size());
    EXPECT_EQ(gInterrupted.load(), static_cast<int>(stream.messages.size()));
    std::string lines;
    for (size_t i = 0; i < failures; ++i) lines += kInterruptedLine;
    EXPECT_EQ(err, lines);
}

std::atomic<time_t> gDeadline{0};

// The watchdog of the signal stream, which takes SIGALRM from alarm().
void onTick(int)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec > gDeadline.load()) _exit(3);
}

TEST_F(InterruptedReceive, StreamUnderASignalEveryMillisecondLosesNoMessage)
{
    alarm(0);
    Stream stream(3000);

    struct sigaction sa = {};
    sa.sa_handler = onTick;  // no SA_RESTART: waits see EINTR
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &sa, nullptr), 0);
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    gDeadline = now.tv_sec + 30;

    // Only the receiving thread takes the signals.
    sigset_t alrm, old;
    sigemptyset(&alrm);
    sigaddset(&alrm, SIGALRM);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &alrm, &old), 0);
    std::atomic<bool> sent{true};
    std::thread publisher([&] {
        for (size_t i = 0; i < stream.messages.size(); ++i) {
            // Well below the high-water marks, where a publisher drops.
            while (stream.bodiesBefore[i] > received_.load() + 100)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            if (!pub_->send(stream.messages[i])) sent = false;
            // Pauses make the receiver wait, and be interrupted there.
            if (i % 16 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    ASSERT_EQ(pthread_sigmask(SIG_SETMASK, &old, nullptr), 0);

    struct itimerval every = {{0, 1000}, {0, 1000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every, nullptr), 0);
    testing::internal::CaptureStderr();
    size_t failures = 0;
    std::vector<std::string> got = receive(stream.bodies.size(), SIZE_MAX, &failures);
    std::string err = testing::internal::GetCapturedStderr();
    struct itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
    publisher.join();

    ASSERT_TRUE(sent.load());
    EXPECT_EQ(got, stream.bodies) << stream.bodies.size() - got.size() << " messages lost";
    EXPECT_GT(failures, 0u) << "no wait was interrupted";
    std::string lines;
    for (size_t i = 0; i < failures; ++i) lines += kInterruptedLine;
    EXPECT_EQ(err, lines);
    std::cout << got.size() << " of " << stream.bodies.size() << " messages arrived, " << failures
              << " interrupted waits\n";
}

}  // namespace
