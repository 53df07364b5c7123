// fork() from one thread while others are in client calls. libdbus has no
// fork handlers, so a child forked while another thread's call was in flight
// makes no call of its own: each fails at once with the error line and the
// bus code, in its children too. A child forked between calls calls as usual.
#include <vorxlabelmgr/labelmgr_client.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "client/call_frame.h"
#include "private_bus.h"

namespace {

using Clock = std::chrono::steady_clock;

class ForkDuringCalls : public vorxtest::LabelMgrPeerTest {};

const char kForkedLine[] =
    "DBus error occurred: forked while another thread was in a D-Bus call: no call before exec\n";

size_t callsOf(vorxtest::LabelMgrPeer& peer, const std::string& member)
{
    size_t n = 0;
    for (const auto& c : peer.calls())
        if (c.member == member) ++n;
    return n;
}

// What a forked child's getPkgId gave: its exit status (the result + 10, or
// 1 when the id is not 42) and what it wrote to standard error. The child is
// killed after 10 s, so a hang fails the test rather than stalling it.
struct ChildResult {
    bool ended = false;
    int status = 0;
    std::string err;
};

// In the child: calls getPkgId with standard error into `errFd`, and when
// `grandchild` is set forks once more (single-threaded) and reports that one.
[[noreturn]] void callInChild(int errFd, bool grandchild)
{
    dup2(errFd, 2);
    if (grandchild) {
        pid_t g = fork();
        if (g == 0) callInChild(errFd, false);
        int status = 0;
        if (g < 0 || waitpid(g, &status, 0) != g || !WIFEXITED(status)) _exit(2);
        _exit(WEXITSTATUS(status));
    }
    uint64_t id = 0;
    int rc = getPkgId("child", &id);
    _exit(rc == 0 && id != 42 ? 1 : rc + 10);
}

ChildResult awaitChild(pid_t child, int readFd)
{
    ChildResult r;
    Clock::time_point start = Clock::now();
    pid_t done = 0;
    while ((done = waitpid(child, &r.status, WNOHANG)) == 0 && Clock::now() - start < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &r.status, 0);
    }
    r.ended = done != 0;
    char buf[512];
    ssize_t n;
    while ((n = read(readFd, buf, sizeof buf)) > 0) r.err.append(buf, static_cast<size_t>(n));
    close(readFd);
    return r;
}

ChildResult forkAndCall(bool grandchild)
{
    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        callInChild(fds[1], grandchild);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return {};
    }
    return awaitChild(child, fds[0]);
}

TEST_F(ForkDuringCalls, ChildOfAForkDuringACallFailsAtOnceAndSoDoItsChildren)
{
    ASSERT_TRUE(peer.reply("getPkgIds", "ati", "[7], 0"));
    ASSERT_TRUE(peer.delay("getPkgIds", 3000));
    ASSERT_TRUE(peer.reply("getPkgId", "t", "42"));

    // One thread waits for its answer, which the service holds for 3 s.
    std::mutex m;
    bool parentDone = false;
    std::thread inFlight([&] {
        const char* names[] = {"parent"};
        uint64_t ids[1] = {0};
        EXPECT_EQ(getPkgIds(names, 1, ids), 1);
        EXPECT_EQ(ids[0], 7u);
        std::lock_guard<std::mutex> l(m);
        parentDone = true;
    });
    for (int i = 0; i < 500 && callsOf(peer, "getPkgIds") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(callsOf(peer, "getPkgIds"), 1u);

    for (bool grandchild : {false, true}) {
        ChildResult r = forkAndCall(grandchild);
        {
            // "At once": the child is done while the parent's answer is still held.
            std::lock_guard<std::mutex> l(m);
            EXPECT_FALSE(parentDone) << (grandchild ? "grandchild" : "child");
        }
        ASSERT_TRUE(r.ended) << "the call in the child did not end within 10 s";
        EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 10 - 2) << "status " << r.status;
        EXPECT_EQ(r.err, kForkedLine);
    }
    inFlight.join();
    EXPECT_EQ(callsOf(peer, "getPkgId"), 0u) << "a child reached the service";
}

TEST_F(ForkDuringCalls, ChildOfAForkBetweenCallsGetsItsAnswer)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "42"));
    uint64_t id = 0;
    ASSERT_EQ(getPkgId("parent", &id), 0);

    // Another thread holds the frame's own lock at fork(): the child starts
    // from an unlocked one.
    std::mutex m;
    std::condition_variable cv;
    bool locked = false, forked = false;
    std::thread holder([&] {
        std::lock_guard<std::mutex> lock(vorx::client::connectionLock());
        std::unique_lock<std::mutex> l(m);
        locked = true;
        cv.notify_all();
        cv.wait(l, [&] { return forked; });
    });
    {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [&] { return locked; });
    }
    ChildResult r = forkAndCall(false);
    {
        std::lock_guard<std::mutex> l(m);
        forked = true;
    }
    cv.notify_all();
    holder.join();
    ASSERT_TRUE(r.ended) << "the call in the child did not end within 10 s";
    EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 10) << "status " << r.status << ": " << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(callsOf(peer, "getPkgId"), 2u);
}

}  // namespace
