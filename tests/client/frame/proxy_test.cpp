// The proxy's sending and reply-reading rules, driven through the shared call
// frame against the scripted peer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "frame_run.h"
#include "private_bus.h"

namespace {

using IdMap = std::map<std::string, uint64_t>;
using PathIdMap = std::map<std::string, IdMap>;

class Proxy : public vorxtest::LabelMgrPeerTest {
protected:
    // Runs `body` in the frame; returns the frame's result, with its error
    // text in `errors`.
    int run(const std::function<void(LabelMgrClient&)>& body) { return vorxtest::runInFrame(body, errors); }
    std::string errors;
};

static_assert(std::is_base_of<com::tarne::vorx::labelmgr_proxy, LabelMgrClient>::value, "proxy base");
static_assert(std::is_base_of<DBus::IntrospectableProxy, LabelMgrClient>::value, "introspection base");
static_assert(std::is_base_of<DBus::ObjectProxy, LabelMgrClient>::value, "object proxy base");
static_assert(std::has_virtual_destructor<com::tarne::vorx::labelmgr_proxy>::value, "destroyed whole via a base");
static_assert(!std::is_copy_constructible<LabelMgrClient>::value, "one client per call");

TEST_F(Proxy, ClientCallsTheServiceObjectWithTheLongTimeout)
{
    ASSERT_EQ(run([](LabelMgrClient& c) {
                  EXPECT_EQ(c.path(), "/org/freedesktop/DBus/tarne/vorx/labelmgr");
                  EXPECT_EQ(c.service(), "com.tarne.vorx.labelmgr");
                  EXPECT_EQ(c.get_timeout(), 180000);
                  EXPECT_EQ(c.com::tarne::vorx::labelmgr_proxy::name(), "com.tarne.vorx.labelmgr");
              }),
              0)
        << errors;
}

TEST_F(Proxy, MembersWithoutInputsSendAnEmptyBody)
{
    const std::map<std::string, std::function<void(LabelMgrClient&)>> members = {
        {"showUserSetPkgId", [](LabelMgrClient& c) { c.showUserSetPkgId(); }},
        {"delAllUserSetPkgId", [](LabelMgrClient& c) { c.delAllUserSetPkgId(); }},
        {"showUserSetFileOid", [](LabelMgrClient& c) { c.showUserSetFileOid(); }},
        {"delAllUserSetFileOid", [](LabelMgrClient& c) { c.delAllUserSetFileOid(); }},
        {"showUserSetFileSid", [](LabelMgrClient& c) { c.showUserSetFileSid(); }},
        {"delAllUserSetFileSid", [](LabelMgrClient& c) { c.delAllUserSetFileSid(); }},
        {"showUserSetFileTid", [](LabelMgrClient& c) { c.showUserSetFileTid(); }},
        {"delAllUserSetFileTid", [](LabelMgrClient& c) { c.delAllUserSetFileTid(); }},
        {"showUserSetFileInheritFlag", [](LabelMgrClient& c) { c.showUserSetFileInheritFlag(); }},
        {"delAllUserSetFileInheritFlag", [](LabelMgrClient& c) { c.delAllUserSetFileInheritFlag(); }},
        {"getLabelSetStatus", [](LabelMgrClient& c) { c.getLabelSetStatus(); }},
    };
    for (const auto& m : members) {
        bool isShow = m.first.rfind("show", 0) == 0;
        ASSERT_TRUE(peer.reply(m.first, isShow ? "a{st}" : "i", isShow ? "{}" : "0"));
    }
    // The show members of the file families answer other dictionaries; an
    // empty one of any element type reads fine.
    for (const auto& m : members) EXPECT_EQ(run(m.second), 0) << m.first << ": " << errors;
    auto calls = peer.calls();
    ASSERT_EQ(calls.size(), members.size());
    size_t i = 0;
    for (const auto& m : members) {
        EXPECT_EQ(calls[i].member, m.first);
        EXPECT_EQ(calls[i].signature, "") << m.first;
        EXPECT_EQ(calls[i].body, "") << m.first;
        ++i;
    }
}

TEST_F(Proxy, ArgumentsTravelInOrderWithDictionariesByKey)
{
    ASSERT_TRUE(peer.reply("setFileOid", "i", "0"));
    ASSERT_TRUE(peer.reply("setFileTid", "i", "0"));
    ASSERT_TRUE(peer.reply("setLabelForPkg", "i", "0"));
    ASSERT_TRUE(peer.reply("policies_parse", "a{sa{sa{st}}}", "{}"));
    ASSERT_TRUE(peer.reply("getDeviceOids", "a{st}", "{}"));
    ASSERT_EQ(run([](LabelMgrClient& c) {
                  c.setFileOid("/p", IdMap{{"pkg_id", 1}, {"file_id", 2}, {"path_id", 3}}, -5);
                  c.setFileTid("/q", 0xFFFFFFFFu, 2);
                  c.setLabelForPkg({"/b", "/a"}, "pkg");
                  c.policies_parse({{"z", {"2", "1"}}, {"a", {}}});
                  c.getDeviceOids({});
              }),
              0)
        << errors;
    auto calls = peer.calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].signature, "sa{st}i");
    EXPECT_EQ(calls[0].body, R"("/p", {"file_id": 2, "path_id": 3, "pkg_id": 1}, -5)");
    EXPECT_EQ(calls[1].signature, "sui");
    EXPECT_EQ(calls[1].body, R"("/q", 4294967295, 2)");
    EXPECT_EQ(calls[2].signature, "ass");
    EXPECT_EQ(calls[2].body, R"(["/b", "/a"], "pkg")");
    EXPECT_EQ(calls[3].signature, "a{sas}");
    EXPECT_EQ(calls[3].body, R"({"a": [], "z": ["2", "1"]})");
    EXPECT_EQ(calls[4].signature, "as");
    EXPECT_EQ(calls[4].body, "[]");
}

TEST_F(Proxy, StringsGoUpToTheirFirstNul)
{
    ASSERT_TRUE(peer.reply("getFileTid", "u", "1"));
    ASSERT_EQ(run([](LabelMgrClient& c) { c.getFileTid(std::string("/a\0b", 4)); }), 0) << errors;
    auto calls = peer.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].body, R"("/a")");
}

TEST_F(Proxy, DictionaryRepliesKeepTheLastOfARepeatedKeyInKeyOrder)
{
    ASSERT_TRUE(peer.reply("showUserSetPkgId", "a{st}", R"({"c": 3, "b": 1, "a": 0, "b": 2})"));
    ASSERT_TRUE(peer.reply("queryUserSetFileOid", "a{sa{st}}",
                           R"({"/x": {"pkg_id": 1, "file_id": 1}, "/w": {}, "/x": {"path_id": 9}})"));
    IdMap pkgs;
    PathIdMap files;
    ASSERT_EQ(run([&](LabelMgrClient& c) {
                  pkgs = c.showUserSetPkgId();
                  files = c.queryUserSetFileOid("/x", 0);
              }),
              0)
        << errors;
    EXPECT_EQ(pkgs, (IdMap{{"a", 0}, {"b", 2}, {"c", 3}}));
    EXPECT_EQ(files, (PathIdMap{{"/w", {}}, {"/x", {{"path_id", 9}}}}));
}

TEST_F(Proxy, EmptyArraysOfAnyElementTypeAreAccepted)
{
    ASSERT_TRUE(peer.reply("getPkgIds", "asi", "[], 4"));
    ASSERT_TRUE(peer.reply("showUserSetFileTid", "a{ii}", "{}"));
    ASSERT_TRUE(peer.reply("policies_parse", "a{ss}", "{}"));
    std::vector<uint64_t> ids{5};
    int32_t status = 0;
    std::map<std::string, uint32_t> tids{{"old", 1}};
    ASSERT_EQ(run([&](LabelMgrClient& c) {
                  c.getPkgIds({"a"}, ids, status);
                  tids = c.showUserSetFileTid();
                  c.policies_parse({});
              }),
              0)
        << errors;
    EXPECT_EQ(ids, std::vector<uint64_t>{5});
    EXPECT_EQ(status, 4);
    EXPECT_TRUE(tids.empty());
}

TEST_F(Proxy, GetPkgIdsAppendsAndLeavesStatusOnFailure)
{
    ASSERT_TRUE(peer.reply("getPkgIds", "ati", "[7, 8], 3"));
    std::vector<uint64_t> ids{1};
    int32_t status = -9;
    ASSERT_EQ(run([&](LabelMgrClient& c) { c.getPkgIds({"a", "b"}, ids, status); }), 0) << errors;
    EXPECT_EQ(ids, (std::vector<uint64_t>{1, 7, 8}));
    EXPECT_EQ(status, 3);

    // The ids arrive, the status does not.
    ASSERT_TRUE(peer.reply("getPkgIds", "at", "[9]"));
    status = -9;
    EXPECT_EQ(run([&](LabelMgrClient& c) { c.getPkgIds({"a"}, ids, status); }), -2);
    EXPECT_EQ(errors, "DBus error occurred: type mismatch\n");
    EXPECT_EQ(ids, (std::vector<uint64_t>{1, 7, 8, 9}));
    EXPECT_EQ(status, -9);
}

TEST_F(Proxy, WrongShapesRaiseTheBindingsMessages)
{
    struct Case {
        const char* member;
        const char* sig;
        const char* values;
        const char* message;
        std::function<void(LabelMgrClient&)> call;
    };
    const Case cases[] = {
        {"getFileOid", "a(st)", R"([("pkg_id", 1)])", "dictionary value expected",
         [](LabelMgrClient& c) { c.getFileOid("/a"); }},
        {"getFileOid", "t", "1", "dictionary value expected", [](LabelMgrClient& c) { c.getFileOid("/a"); }},
        {"getFileOid", "a{su}", R"({"pkg_id": 1})", "type mismatch", [](LabelMgrClient& c) { c.getFileOid("/a"); }},
        {"getFileOid", "a{tt}", "{1: 1}", "type mismatch", [](LabelMgrClient& c) { c.getFileOid("/a"); }},
        {"showUserSetFileSid", "a{sa(t)}", R"({"/a": [(1)]})", "dictionary value expected",
         [](LabelMgrClient& c) { c.showUserSetFileSid(); }},
        {"getPkgIds", "asi", R"(["1"], 0)", "type mismatch",
         [](LabelMgrClient& c) {
             std::vector<uint64_t> ids;
             int32_t s;
             c.getPkgIds({}, ids, s);
         }},
        {"getPkgIds", "ii", "1, 0", "array expected",
         [](LabelMgrClient& c) {
             std::vector<uint64_t> ids;
             int32_t s;
             c.getPkgIds({}, ids, s);
         }},
        {"getPathSm3HashValue", "-", "", "type mismatch", [](LabelMgrClient& c) { c.getPathSm3HashValue("/a"); }},
        {"getLabelSetStatus", "u", "0", "type mismatch", [](LabelMgrClient& c) { c.getLabelSetStatus(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.member) + " " + c.sig);
        ASSERT_TRUE(peer.reply(c.member, c.sig, c.values));
        EXPECT_EQ(run(c.call), -2);
        EXPECT_EQ(errors, std::string("DBus error occurred: ") + c.message + "\n");
    }
}

TEST_F(Proxy, TextThatIsNotUtf8IsRefusedInsideContainersToo)
{
    ASSERT_TRUE(peer.reply("setLabelForPkg", "i", "0"));
    ASSERT_TRUE(peer.reply("policies_parse", "a{sa{sa{st}}}", "{}"));
    ASSERT_TRUE(peer.reply("addTagFullSystem", "i", "0"));
    EXPECT_EQ(run([](LabelMgrClient& c) { c.setLabelForPkg({"/ok", "/bad\xc3"}, "pkg"); }), -2);
    EXPECT_EQ(errors, "DBus error occurred: argument 1 of setLabelForPkg holds a string that is not valid UTF-8\n");
    EXPECT_EQ(run([](LabelMgrClient& c) { c.setLabelForPkg({"/ok"}, "\x80pkg"); }), -2);
    EXPECT_EQ(errors, "DBus error occurred: argument 2 of setLabelForPkg is not valid UTF-8\n");
    EXPECT_EQ(run([](LabelMgrClient& c) { c.policies_parse({{"cat", {"fine", "\xed\xa0\x80"}}}); }), -2);
    EXPECT_EQ(errors, "DBus error occurred: argument 1 of policies_parse holds a string that is not valid UTF-8\n");
    EXPECT_EQ(run([](LabelMgrClient& c) { c.addTagFullSystem("/p", {"\xff"}); }), -2);
    EXPECT_EQ(errors, "DBus error occurred: argument 2 of addTagFullSystem holds a string that is not valid UTF-8\n");
    EXPECT_TRUE(peer.calls().empty());
    // Valid multi-byte text goes through untouched.
    EXPECT_EQ(run([](LabelMgrClient& c) { c.setLabelForPkg({"/d\xc3\xa9j\xc3\xa0"}, "p\xe2\x82\xac"); }), 0) << errors;
    auto calls = peer.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].body, "[\"/d\xc3\xa9j\xc3\xa0\"], \"p\xe2\x82\xac\"");
}

// Preparation runs once the connection is open, before the client is built.
class ProxyMatchLimit : public vorxtest::LabelMgrPeerTest {
protected:
    std::string extraBusConfig() const override { return R"(<limit name="max_match_rules_per_connection">1</limit>)"; }
};

TEST_F(ProxyMatchLimit, PreparationPrecedesTheClient)
{
    bool prepared = false, called = false;
    std::ostringstream err;
    int rc = vorx::client::callService(
        -2, err, [&] { prepared = true; },
        [&](LabelMgrClient&) {
            called = true;
            return 0;
        });
    EXPECT_EQ(rc, -2);
    EXPECT_TRUE(prepared);
    EXPECT_FALSE(called);
    EXPECT_EQ(err.str().rfind("DBus error occurred: ", 0), 0u) << err.str();
}

TEST(ProxyNoBus, NoPreparationWithoutAConnection)
{
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vorx-test/socket", 1);
    bool prepared = false;
    std::ostringstream err;
    EXPECT_EQ(vorx::client::callService(
                  -7, err, [&] { prepared = true; }, [](LabelMgrClient&) { return 0; }),
              -7);
    EXPECT_FALSE(prepared);
    EXPECT_EQ(err.str().rfind("DBus error occurred: ", 0), 0u) << err.str();
}

}  // namespace
