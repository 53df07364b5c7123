// The private bus and the peer leave nothing behind, also when the test
// process dies without tearing down.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "private_bus.h"

namespace {

bool alive(pid_t pid)
{
    if (kill(pid, 0) != 0) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    return !(close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z');
}

bool exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool goneWithin(pid_t pid, const std::string& dir, int ms)
{
    for (int i = 0; i < ms / 10; ++i) {
        if (!alive(pid) && !exists(dir)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(Harness, StopEndsDaemonAndPeerAndRemovesTheDirectory)
{
    vorxtest::PrivateSystemBus bus;
    vorxtest::LabelMgrPeer peer;
    std::string why;
    ASSERT_TRUE(bus.start(&why)) << why;
    ASSERT_TRUE(peer.start(vorxtest::LabelMgrPeer::Mode::Scripted, bus, &why)) << why;
    pid_t busPid = bus.pid(), peerPid = peer.pid();
    std::string dir = bus.dir();
    ASSERT_TRUE(alive(busPid));
    ASSERT_TRUE(exists(dir + "/socket"));
    peer.stop();
    EXPECT_TRUE(alive(busPid)) << "an orderly peer stop keeps the bus";
    bus.stop();
    EXPECT_FALSE(alive(peerPid));
    EXPECT_TRUE(goneWithin(busPid, dir, 5000));
}

TEST(Harness, ATestThatDiesLeavesNoBusBehind)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        vorxtest::PrivateSystemBus bus;
        vorxtest::LabelMgrPeer peer;
        std::string why;
        if (!bus.start(&why) || !peer.start(vorxtest::LabelMgrPeer::Mode::Scripted, bus, &why)) _exit(1);
        std::string report = std::to_string(bus.pid()) + " " + std::to_string(peer.pid()) + " " + bus.dir() + "\n";
        if (write(fds[1], report.data(), report.size()) != static_cast<ssize_t>(report.size())) _exit(1);
        _exit(0);  // no teardown at all
    }
    close(fds[1]);
    char buf[512] = {};
    ssize_t n = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_GT(n, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    long busPid = 0, peerPid = 0;
    char dir[400] = {};
    ASSERT_EQ(std::sscanf(buf, "%ld %ld %399s", &busPid, &peerPid, dir), 3);
    EXPECT_TRUE(goneWithin(static_cast<pid_t>(busPid), dir, 5000)) << "bus " << busPid << " or " << dir << " left";
    EXPECT_TRUE(goneWithin(static_cast<pid_t>(peerPid), dir, 5000)) << "peer " << peerPid << " left";
}

}  // namespace
