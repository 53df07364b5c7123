#ifndef VORX_TEST_CLIENT_FUNCTIONS_H
#define VORX_TEST_CLIENT_FUNCTIONS_H

#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "private_bus.h"

// VORX_ID lives in the global namespace, so its test operators do too.
inline bool operator==(const VORX_ID& a, const VORX_ID& b)
{
    return a.pkg_id == b.pkg_id && a.file_id == b.file_id && a.path_id == b.path_id;
}

inline std::ostream& operator<<(std::ostream& os, const VORX_ID& id)
{
    return os << "{" << id.pkg_id << ", " << id.file_id << ", " << id.path_id << "}";
}

namespace familytest {

// What the library writes to std::cout and std::cerr while it lives.
class Streams {
public:
    Streams() : oldOut_(std::cout.rdbuf(out_.rdbuf())), oldErr_(std::cerr.rdbuf(err_.rdbuf())) {}
    ~Streams()
    {
        std::cout.rdbuf(oldOut_);
        std::cerr.rdbuf(oldErr_);
    }
    Streams(const Streams&) = delete;
    Streams& operator=(const Streams&) = delete;

    std::string out() const { return out_.str(); }
    std::string err() const { return err_.str(); }
    void clear()
    {
        out_.str("");
        err_.str("");
    }

private:
    std::ostringstream out_;
    std::ostringstream err_;
    std::streambuf* oldOut_;
    std::streambuf* oldErr_;
};

// The label-manager calls the peer saw, without anything else on the bus.
inline std::vector<vorxtest::PeerCall> serviceCalls(vorxtest::LabelMgrPeer& peer)
{
    std::vector<vorxtest::PeerCall> out;
    for (auto& c : peer.calls())
        if (c.interface == "com.tarne.vorx.labelmgr") out.push_back(c);
    return out;
}

// The one call a client function made: its member, signature and body.
inline std::string oneCall(vorxtest::LabelMgrPeer& peer)
{
    auto calls = serviceCalls(peer);
    if (calls.size() != 1) return "<" + std::to_string(calls.size()) + " calls>";
    return calls[0].member + "(" + calls[0].signature + ") " + calls[0].body;
}

const char* const kErrorLine = "DBus error occurred: it broke\n";

class FamilyTest : public vorxtest::LabelMgrPeerTest {
protected:
    // Every member answered with the D-Bus error whose message is "it broke".
    void failEverything(const std::vector<std::string>& members)
    {
        for (const auto& m : members) ASSERT_TRUE(peer.error(m, "com.tarne.vorx.Error.Test", "it broke"));
    }

    // A file-family set, remove or clear call: what it sends, and that only a
    // status of -1 is a failure.
    struct StatusCase {
        std::string member;
        std::function<int()> call;
        std::string sent;
    };
    void expectFileStatuses(const StatusCase& c)
    {
        for (auto status : {std::make_pair("-1", -1), {"0", 0}, {"1", 0}, {"-2", 0}}) {
            SCOPED_TRACE(c.member + " status " + status.first);
            ASSERT_TRUE(peer.reply(c.member, "i", status.first));
            ASSERT_TRUE(peer.clearCalls());
            EXPECT_EQ(status.second, c.call());
            EXPECT_EQ(c.sent, oneCall(peer));
        }
    }
};

}  // namespace familytest

#endif
