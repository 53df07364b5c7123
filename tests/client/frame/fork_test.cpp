// fork() from one thread while others are in client calls: the child makes
// calls of its own, the parent's calls are not disturbed.
#include <vorxlabelmgr/labelmgr_client.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "client/call_frame.h"
#include "private_bus.h"

namespace {

using Clock = std::chrono::steady_clock;

class ForkDuringCalls : public vorxtest::LabelMgrPeerTest {};

bool peerHasCall(vorxtest::LabelMgrPeer& peer, const std::string& member)
{
    for (const auto& c : peer.calls())
        if (c.member == member) return true;
    return false;
}

TEST_F(ForkDuringCalls, ChildGetsItsAnswerWhileTheParentsCallWaits)
{
    ASSERT_TRUE(peer.reply("getPkgIds", "ati", "[7], 0"));
    ASSERT_TRUE(peer.delay("getPkgIds", 3000));
    ASSERT_TRUE(peer.reply("getPkgId", "t", "42"));

    // One thread waits for its answer...
    std::thread inFlight([] {
        const char* names[] = {"parent"};
        uint64_t ids[1] = {0};
        EXPECT_EQ(getPkgIds(names, 1, ids), 1);
        EXPECT_EQ(ids[0], 7u);
    });
    for (int i = 0; i < 500 && !peerHasCall(peer, "getPkgIds"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(peerHasCall(peer, "getPkgIds"));

    // ...another is building its connection, holding the lock, at fork().
    std::mutex m;
    std::condition_variable cv;
    bool locked = false, forked = false;
    std::thread building([&] {
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

    Clock::time_point start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        uint64_t id = 0;
        _exit(getPkgId("child", &id) == 0 && id == 42 ? 0 : 1);
    }
    {
        std::lock_guard<std::mutex> l(m);
        forked = true;
    }
    cv.notify_all();
    building.join();
    ASSERT_GT(child, 0);

    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 && Clock::now() - start < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    std::printf("forked child's answer after %lld ms\n", static_cast<long long>(ms));
    EXPECT_NE(done, 0) << "the child's call did not end within 10 s";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    inFlight.join();
}

}  // namespace
