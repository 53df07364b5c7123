// The private bus and the peer leave nothing behind, also when the test
// process dies without tearing down.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "private_bus.h"
#include "process_probe.h"
#include "text_files.h"

namespace {

using vorxtest::fileExists;
using vorxtest::goneWithin;
using vorxtest::processGone;

TEST(Harness, StopEndsDaemonAndPeerAndRemovesTheDirectory)
{
    vorxtest::PrivateSystemBus bus;
    vorxtest::LabelMgrPeer peer;
    std::string why;
    ASSERT_TRUE(bus.start(&why)) << why;
    ASSERT_TRUE(peer.start(vorxtest::LabelMgrPeer::Mode::Scripted, bus, &why)) << why;
    pid_t busPid = bus.pid(), peerPid = peer.pid();
    std::string dir = bus.dir();
    ASSERT_FALSE(processGone(busPid));
    ASSERT_TRUE(fileExists(dir + "/socket"));
    peer.stop();
    EXPECT_FALSE(processGone(busPid)) << "an orderly peer stop keeps the bus";
    bus.stop();
    EXPECT_TRUE(processGone(peerPid));
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
