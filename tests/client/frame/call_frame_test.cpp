// The call frame as every client function sees it, exercised through getPkgId
// against the scripted peer on a private system bus.
#include <vorxlabelmgr/labelmgr_client.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <dbus-c++/dbus.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "descriptor_probe.h"
#include "private_bus.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class GetPkgIdFrame : public vorxtest::LabelMgrPeerTest {};

TEST_F(GetPkgIdFrame, AnswersZeroAndAllBitsSet)
{
    uint64_t id = 9;
    ASSERT_TRUE(peer.reply("getPkgId", "t", "0"));
    EXPECT_EQ(getPkgId("a", &id), 0);
    EXPECT_EQ(id, 0u);
    ASSERT_TRUE(peer.reply("getPkgId", "t", "0xffffffffffffffff"));
    EXPECT_EQ(getPkgId("a", &id), -1);
    EXPECT_EQ(id, UINT64_MAX);
}

TEST_F(GetPkgIdFrame, NullArgumentsSendNothing)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    uint64_t id = 5;
    CaptureStderr();
    EXPECT_EQ(getPkgId(nullptr, &id), -1);
    EXPECT_EQ(getPkgId("a", nullptr), -1);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(id, 5u);
    EXPECT_TRUE(peer.calls().empty());
}

TEST_F(GetPkgIdFrame, ErrorAnswerWritesTheMessageAndLeavesTheId)
{
    ASSERT_TRUE(peer.error("getPkgId", "com.tarne.vorx.labelmgr.Error.Unknown", "no such package"));
    uint64_t id = 7;
    CaptureStderr();
    EXPECT_EQ(getPkgId("a", &id), -2);
    EXPECT_EQ(GetCapturedStderr(), "DBus error occurred: no such package\n");
    EXPECT_EQ(id, 7u);
}

// Wrong shapes of the reply: the binding's reading rules, reported as a bus error.
TEST_F(GetPkgIdFrame, WrongReplyShapeIsTypeMismatch)
{
    struct Case {
        const char* sig;
        const char* values;
    } cases[] = {{"s", "\"12\""}, {"-", ""}, {"u", "12"}, {"at", "[12]"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sig);
        ASSERT_TRUE(peer.reply("getPkgId", c.sig, c.values));
        uint64_t id = 7;
        CaptureStderr();
        EXPECT_EQ(getPkgId("a", &id), -2);
        EXPECT_EQ(GetCapturedStderr(), "DBus error occurred: type mismatch\n");
        EXPECT_EQ(id, 7u);
    }
}

TEST_F(GetPkgIdFrame, ExtraReplyArgumentsAreIgnored)
{
    ASSERT_TRUE(peer.reply("getPkgId", "tsi", "3, \"more\", -1"));
    uint64_t id = 0;
    EXPECT_EQ(getPkgId("a", &id), 0);
    EXPECT_EQ(id, 3u);
}

TEST_F(GetPkgIdFrame, MissingServiceIsABusError)
{
    peer.stop();
    uint64_t id = 7;
    CaptureStderr();
    EXPECT_EQ(getPkgId("a", &id), -2);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(err.rfind("DBus error occurred: ", 0), 0u) << err;
    EXPECT_NE(err.find("com.tarne.vorx.labelmgr"), std::string::npos) << err;
    EXPECT_EQ(err.back(), '\n');
    EXPECT_EQ(id, 7u);
}

TEST_F(GetPkgIdFrame, InvalidUtf8IsRefusedBeforeSending)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    uint64_t id = 7;
    CaptureStderr();
    EXPECT_EQ(getPkgId("bad\xff\xfe", &id), -2);
    EXPECT_EQ(GetCapturedStderr(), "DBus error occurred: argument 1 of getPkgId is not valid UTF-8\n");
    EXPECT_EQ(id, 7u);
    EXPECT_TRUE(peer.calls().empty());
    // The process and the frame are fine afterwards.
    EXPECT_EQ(getPkgId("good", &id), 0);
}

TEST_F(GetPkgIdFrame, EachCallHasItsOwnConnectionClosedAfterwards)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    uint64_t id = 0;
    ASSERT_EQ(getPkgId("a", &id), 0);
    ASSERT_EQ(getPkgId("b", &id), 0);
    auto calls = peer.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[0].sender, calls[1].sender);
    for (const auto& c : calls) EXPECT_FALSE(peer.hasOwner(c.sender)) << c.sender << " still connected";
}

TEST_F(GetPkgIdFrame, ManyCallsLeaveNoDescriptorBehind)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    uint64_t id = 0;
    ASSERT_EQ(getPkgId("warm-up", &id), 0);
    auto before = vorxtest::openDescriptors();
    for (int i = 0; i < 300; ++i) ASSERT_EQ(getPkgId("a", &id), 0) << "call " << i;
    // Failed calls release theirs too.
    ASSERT_TRUE(peer.error("getPkgId", "org.example.Error", "refused"));
    CaptureStderr();
    for (int i = 0; i < 50; ++i) ASSERT_EQ(getPkgId("a", &id), -2);
    GetCapturedStderr();
    EXPECT_EQ(vorxtest::openDescriptors(), before);
}

TEST_F(GetPkgIdFrame, DefaultDispatcherIsPutBack)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    DBus::BusDispatcher mine;
    DBus::default_dispatcher = &mine;
    uint64_t id = 0;
    EXPECT_EQ(getPkgId("a", &id), 0);
    EXPECT_EQ(DBus::default_dispatcher, &mine);
    DBus::default_dispatcher = nullptr;
    EXPECT_EQ(getPkgId("a", &id), 0);
    EXPECT_EQ(DBus::default_dispatcher, nullptr);
    mine.leave();
}

// Descriptors a call holds while it waits are closed on exec, so a program
// that starts another one meanwhile does not hand them over.
TEST_F(GetPkgIdFrame, DescriptorsOfARunningCallAreCloseOnExec)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    ASSERT_TRUE(peer.delay("getPkgId", 500));
    auto before = vorxtest::openDescriptors();
    std::thread call([] {
        uint64_t id = 0;
        EXPECT_EQ(getPkgId("a", &id), 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    auto during = vorxtest::openDescriptors();
    int fresh = 0;
    for (const auto& entry : during) {
        if (std::find(before.begin(), before.end(), entry) != before.end()) continue;
        int fd = std::atoi(entry.c_str());
        int flags = fcntl(fd, F_GETFD);
        if (flags < 0) continue;  // already closed again
        ++fresh;
        EXPECT_TRUE(flags & FD_CLOEXEC) << entry;
    }
    call.join();
    EXPECT_GE(fresh, 3) << "expected the call's pipe and socket";
}

// The bus refuses the client's second signal match rule.
class GetPkgIdMatchLimit : public vorxtest::LabelMgrPeerTest {
protected:
    std::string extraBusConfig() const override { return R"(<limit name="max_match_rules_per_connection">1</limit>)"; }
};

TEST_F(GetPkgIdMatchLimit, RefusedMatchRuleIsABusError)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    uint64_t id = 7;
    CaptureStderr();
    EXPECT_EQ(getPkgId("a", &id), -2);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(err.rfind("DBus error occurred: ", 0), 0u) << err;
    EXPECT_EQ(id, 7u);
    EXPECT_TRUE(peer.calls().empty());
}

// No bus at the address: its own process, as libdbus reads the address once.
TEST(GetPkgIdNoBus, UnreachableBusIsABusError)
{
    unsetenv("DBUSXX_VERBOSE");
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vorx-test/socket", 1);
    auto before = vorxtest::openDescriptors();
    uint64_t id = 7;
    CaptureStderr();
    EXPECT_EQ(getPkgId("a", &id), -2);
    EXPECT_EQ(getPkgId("a", &id), -2);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(err.rfind("DBus error occurred: ", 0), 0u) << err;
    EXPECT_NE(err.find("/nonexistent/vorx-test/socket"), std::string::npos) << err;
    EXPECT_EQ(id, 7u);
    EXPECT_EQ(vorxtest::openDescriptors(), before);
}

// No descriptor left for the dispatcher's wake-up pipe.
TEST_F(GetPkgIdFrame, DispatcherThatCannotBeBuiltIsABusError)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers probe memory through a pipe, which fails with no descriptor left";
#endif
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    auto open = vorxtest::openDescriptors();
    int highest = 0;
    for (const auto& e : open) highest = std::max(highest, std::atoi(e.c_str()));
    struct rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(highest + 2);
    uint64_t id = 7;
    CaptureStderr();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    // Take every descriptor still free under the limit.
    std::vector<int> fillers;
    for (int fd; (fd = dup(2)) >= 0;) fillers.push_back(fd);
    int rc = getPkgId("a", &id);
    for (int fd : fillers) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(rc, -2);
    EXPECT_EQ(err, "DBus error occurred: cannot create the dispatcher's wake-up pipe: Too many open files\n");
    EXPECT_EQ(id, 7u);
    EXPECT_EQ(getPkgId("a", &id), 0);
}

}  // namespace
