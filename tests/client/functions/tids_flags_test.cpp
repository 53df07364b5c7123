// Tids and inheritance flags: every case runs for both twins; they differ
// only in whether 0 may be set.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "functions_test.h"

using familytest::FamilyTest;
using familytest::oneCall;
using familytest::Streams;

namespace {

struct Twin {
    const char* family;  // "Tid" or "InheritFlag"
    int (*get)(const char*, uint32_t*);
    int (*set)(const char*, uint32_t, int);
    int (*query)(const char*, USER_SET_ITEM**, int);
    int (*show)(USER_SET_ITEM**);
    int (*del)(const char*, int);
    int (*clear)(void);
    bool zeroRefused;

    std::string m(const char* prefix) const { return std::string(prefix) + "File" + family; }
};

const Twin kTwins[] = {
    {"Tid", getFileTid, setFileTid, queryUserSetFileTid, showUserSetFileTid, delFileTid, clearFileTid, true},
    {"InheritFlag", getFileInheritFlag, setFileInheritFlag, queryUserSetFileInheritFlag, showUserSetFileInheritFlag,
     delFileInheritFlag, clearFileInheritFlag, false},
};

class TidsFlags : public FamilyTest {};

TEST_F(TidsFlags, ReadStoresTheAnswerAndFailsOnAllOnes)
{
    struct Case {
        const char* answer;
        int expected;
        uint32_t value;
    } cases[] = {{"4294967295", -1, UINT32_MAX}, {"4294967294", 0, UINT32_MAX - 1}, {"0", 0, 0}, {"7", 0, 7}};
    for (const auto& t : kTwins) {
        for (const auto& c : cases) {
            SCOPED_TRACE(t.m("get") + " " + c.answer);
            ASSERT_TRUE(peer.reply(t.m("get"), "u", c.answer));
            ASSERT_TRUE(peer.clearCalls());
            uint32_t value = 99;
            EXPECT_EQ(c.expected, t.get("", &value));
            EXPECT_EQ(c.value, value);
            EXPECT_EQ(t.m("get") + R"((s) "")", oneCall(peer));
        }
    }
}

TEST_F(TidsFlags, ReplyOfAnotherTypeIsABusErrorAndLeavesTheValue)
{
    for (const auto& t : kTwins) {
        SCOPED_TRACE(t.family);
        Streams streams;
        ASSERT_TRUE(peer.reply(t.m("get"), "i", "-1"));
        uint32_t value = 99;
        EXPECT_EQ(-2, t.get("/a", &value));
        EXPECT_EQ(99u, value);
        ASSERT_TRUE(peer.reply(t.m("showUserSet"), "a{st}", R"({"/a": 1})"));
        USER_SET_ITEM* out = nullptr;
        EXPECT_EQ(-2, t.show(&out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ("DBus error occurred: type mismatch\nDBus error occurred: type mismatch\n", streams.err());
    }
}

TEST_F(TidsFlags, SetSendsPathValueAndOptionAndOnlyTidRefusesZero)
{
    for (const auto& t : kTwins) {
        SCOPED_TRACE(t.family);
        ASSERT_TRUE(peer.reply(t.m("set"), "i", "0"));
        ASSERT_TRUE(peer.clearCalls());
        EXPECT_EQ(0, t.set("/a", UINT32_MAX, -5));
        EXPECT_EQ(t.m("set") + R"((sui) "/a", 4294967295, -5)", oneCall(peer));
        ASSERT_TRUE(peer.clearCalls());
        if (t.zeroRefused) {
            EXPECT_EQ(-1, t.set("/a", 0, 0));
            EXPECT_EQ("<0 calls>", oneCall(peer));
        } else {
            EXPECT_EQ(0, t.set("/a", 0, 0));
            EXPECT_EQ(t.m("set") + R"((sui) "/a", 0, 0)", oneCall(peer));
        }
    }
}

TEST_F(TidsFlags, OnlyStatusMinusOneFailsSetDelAndClear)
{
    for (const auto& t : kTwins) {
        const StatusCase cases[] = {
            {t.m("set"), [&] { return t.set("/a", 3, 2); }, t.m("set") + R"((sui) "/a", 3, 2)"},
            {t.m("delUserSet"), [&] { return t.del("/a", -2147483647 - 1); },
             t.m("delUserSet") + R"((si) "/a", -2147483648)"},
            {t.m("delAllUserSet"), [&] { return t.clear(); }, t.m("delAllUserSet") + "() "},
        };
        for (const auto& c : cases) expectFileStatuses(c);
    }
}

TEST_F(TidsFlags, ListingsWidenTheValueIntoPkgIdInKeyOrder)
{
    for (const auto& t : kTwins) {
        for (bool show : {false, true}) {
            std::string member = t.m(show ? "showUserSet" : "queryUserSet");
            SCOPED_TRACE(member);
            ASSERT_TRUE(peer.reply(member, "a{su}", R"({"/b": 4294967295, "/a": 0, "/a": 2})"));
            ASSERT_TRUE(peer.clearCalls());
            USER_SET_ITEM* out = nullptr;
            ASSERT_EQ(2, show ? t.show(&out) : t.query("/a", &out, 1));
            EXPECT_EQ(member + (show ? "() " : R"((si) "/a", 1)"), oneCall(peer));
            EXPECT_STREQ("/a", out[0].name);
            EXPECT_EQ(2u, out[0].id.pkg_id);  // a repeated key keeps its last value
            EXPECT_STREQ("/b", out[1].name);
            EXPECT_EQ(0xFFFFFFFFu, out[1].id.pkg_id);
            std::free(out);
        }
    }
}

}  // namespace
