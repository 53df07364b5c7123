#include <vorxlabelmgr/labelmgr_client.h>

#include <gtest/gtest.h>

#include "private_bus.h"

namespace {

class GetPkgId : public vorxtest::LabelMgrPeerTest {};

TEST_F(GetPkgId, SendsTheNameAndStoresTheAnswer) {
    ASSERT_TRUE(peer.reply("getPkgId", "t", "42"));
    uint64_t id = 0;
    EXPECT_EQ(getPkgId("pkg.one", &id), 0);
    EXPECT_EQ(id, 42u);
    auto calls = peer.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].path, "/org/freedesktop/DBus/tarne/vorx/labelmgr");
    EXPECT_EQ(calls[0].interface, "com.tarne.vorx.labelmgr");
    EXPECT_EQ(calls[0].member, "getPkgId");
    EXPECT_EQ(calls[0].signature, "s");
    EXPECT_EQ(calls[0].body, "\"pkg.one\"");
}

}  // namespace
