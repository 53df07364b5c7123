// Who may publish: publishers run as other users, in children forked while
// this process has no threads yet, against the fixed endpoint on a private
// /tmp.
#include <vorxlabelmgr/label_notify.h>
#include <vorxlabelmgr/zmq_socket.h>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "mount_ns.h"
#include "test_publisher.h"

namespace {

const uid_t kNobody = 65534;
const uid_t kOtherUser = 65533;

bool becomeUser(uid_t uid)
{
    if (uid == 0) return true;
    return setgroups(0, nullptr) == 0 && setgid(uid) == 0 && setuid(uid) == 0;
}

// A publisher in a child running as `uid`. It binds when the gate opens (at
// once without one), reports 'b' on its pipe, waits for a subscriber, reports
// 's', then sends {"t", body} every 20 ms until it is killed: a publisher that
// stays and keeps talking.
class ChildPublisher {
public:
    ChildPublisher(uid_t uid, const std::string& body, bool gated)
    {
        int report[2], gate[2] = {-1, -1};
        if (pipe(report) != 0 || (gated && pipe(gate) != 0)) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(report[0]);
            if (gated) {
                close(gate[1]);
                char c;
                if (read(gate[0], &c, 1) != 1) _exit(1);
            }
            // Any subscriber, whatever its uid, may connect to the socket file.
            umask(0);
            if (!becomeUser(uid)) _exit(2);
            vorxtest::TestPublisher pub;
            if (!pub.error().empty() || write(report[1], "b", 1) != 1) _exit(3);
            if (!pub.awaitSubscriptions(1) || write(report[1], "s", 1) != 1) _exit(4);
            for (int i = 0; i < 1000; ++i) {
                pub.send({"t", body});
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            _exit(0);
        }
        close(report[1]);
        report_ = report[0];
        if (gated) {
            close(gate[0]);
            gate_ = gate[1];
        }
    }

    ~ChildPublisher()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (report_ >= 0) close(report_);
        if (gate_ >= 0) close(gate_);
    }

    ChildPublisher(const ChildPublisher&) = delete;
    ChildPublisher& operator=(const ChildPublisher&) = delete;

    bool open() { return gate_ >= 0 && write(gate_, "g", 1) == 1; }

    // Waits for the report `what`; false when the child died first.
    bool reported(char what)
    {
        char c = 0;
        return pid_ > 0 && read(report_, &c, 1) == 1 && c == what;
    }

private:
    pid_t pid_ = -1;
    int report_ = -1;
    int gate_ = -1;
};

// Acts as `uid` until destroyed; seteuid keeps root as the saved uid.
class EffectiveUid {
public:
    explicit EffectiveUid(uid_t uid) : changed_(uid != 0) { ok_ = !changed_ || seteuid(uid) == 0; }
    ~EffectiveUid()
    {
        if (changed_ && ok_) {
            EXPECT_EQ(seteuid(0), 0);
        }
    }
    bool ok() const { return ok_; }

private:
    bool changed_, ok_;
};

std::string nextBody(void* h)
{
    char* body = nullptr;
    if (recvLabelChangeMsg(h, &body) != 0) return "<failed>";
    std::string got(body);
    std::free(body);
    return got;
}

class PublisherTrust : public ::testing::Test {
protected:
    void SetUp() override
    {
        VORX_REQUIRE_MOUNT_NS();
        alarm(30);
    }
    void TearDown() override { alarm(0); }
};

// The first publisher binds before the subscriber connects and keeps sending.
// One that may not publish is never heard; the subscriber then reaches a root
// publisher that takes the path over while the first one still runs.
TEST_F(PublisherTrust, OnlyRootAndTheSubscribersOwnUidAreHeard)
{
    const struct {
        uid_t subscriber, publisher;
        bool heard;
    } rows[] = {
        {0, 0, true}, {0, kNobody, false}, {kNobody, kNobody, true}, {kNobody, 0, true}, {kNobody, kOtherUser, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("subscriber uid " + std::to_string(row.subscriber) + ", publisher uid " +
                     std::to_string(row.publisher));
        // A publisher killed in the row before leaves its socket file, which
        // only root may remove from the sticky /tmp.
        unlink("/tmp/vorx_label_manager.socket");
        ChildPublisher first(row.publisher, "from the first publisher", false);
        ChildPublisher root(0, "genuine", true);
        ASSERT_TRUE(first.reported('b'));

        EffectiveUid as(row.subscriber);
        ASSERT_TRUE(as.ok());
        ZMQSocket* h = static_cast<ZMQSocket*>(createSubscriber());
        ASSERT_EQ(subscribeLabelChangeMsg(h, "t"), 0);
        ASSERT_TRUE(first.reported('s'));
        if (!row.heard) {
            ASSERT_TRUE(root.open());
            ASSERT_TRUE(root.reported('b'));
        }
        EXPECT_EQ(nextBody(h), row.heard ? "from the first publisher" : "genuine");
        EXPECT_EQ(nextBody(h), row.heard ? "from the first publisher" : "genuine");
        delete h;
    }
}

}  // namespace
