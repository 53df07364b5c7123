// Package ids: one, several at once, set, and the user-set entries.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "functions_test.h"

using familytest::FamilyTest;
using familytest::oneCall;
using familytest::Streams;

namespace {

class PkgIds : public FamilyTest {};

TEST_F(PkgIds, GetPkgIdSendsTheNameAndStoresTheAnswer)
{
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

TEST_F(PkgIds, GetPkgIdsWritesAtMostCountIdsInAnswerOrder)
{
    const char* names[] = {"a", "b", "c"};
    struct Case {
        const char* answer;  // "ati" reply
        unsigned int count;
        int expected;
        std::vector<uint64_t> ids;  // the caller's four slots afterwards
        const char* sent;
    } cases[] = {
        {"[7, 18446744073709551615, 9], 0", 3, 3, {7, UINT64_MAX, 9, 5}, R"(getPkgIds(as) ["a", "b", "c"])"},
        {"[7], -1", 3, 1, {7, 5, 5, 5}, R"(getPkgIds(as) ["a", "b", "c"])"},
        // More ids than names: nothing is written past the caller's count.
        {"[1, 2, 3, 4], 0", 2, 2, {1, 2, 5, 5}, R"(getPkgIds(as) ["a", "b"])"},
        {"[], 0", 0, 0, {5, 5, 5, 5}, R"(getPkgIds(as) [])"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ASSERT_TRUE(peer.reply("getPkgIds", "ati", c.answer));
        ASSERT_TRUE(peer.clearCalls());
        std::vector<uint64_t> ids(4, 5);
        EXPECT_EQ(c.expected, getPkgIds(names, c.count, ids.data()));
        EXPECT_EQ(c.ids, ids);
        EXPECT_EQ(c.sent, oneCall(peer));
    }
}

TEST_F(PkgIds, StatusOfSetDelAndClearIsZeroOrFailure)
{
    struct Case {
        const char* member;
        std::function<int()> call;
        const char* sent;
    } cases[] = {
        {"setPkgId", [] { return setPkgId("pkg.one", 42); }, R"(setPkgId(st) "pkg.one", 42)"},
        {"delUserSetPkgId", [] { return delUserSetPkgId("pkg.one"); }, R"(delUserSetPkgId(s) "pkg.one")"},
        {"delAllUserSetPkgId", [] { return clearUserSetPkgId(); }, "delAllUserSetPkgId() "},
    };
    for (const auto& c : cases) {
        for (auto status : {std::make_pair("0", 0), {"1", -1}, {"-1", -1}, {"-2", -1}}) {
            SCOPED_TRACE(std::string(c.member) + " status " + status.first);
            ASSERT_TRUE(peer.reply(c.member, "i", status.first));
            ASSERT_TRUE(peer.clearCalls());
            EXPECT_EQ(status.second, c.call());
            EXPECT_EQ(c.sent, oneCall(peer));
        }
    }
}

TEST_F(PkgIds, QueryFindsItsOwnEntryAndReturnsOneWhenThereIsNone)
{
    struct Case {
        const char* answer;
        int expected;
        uint64_t id;
    } cases[] = {
        {R"({})", 1, 99},       // no entry: *pkgId untouched
        {R"({"b": 7})", 0, 0},  // only other packages
        {R"({"b": 8, "a": 7})", 0, 7},
        {R"({"a": 18446744073709551615})", 0, UINT64_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ASSERT_TRUE(peer.reply("queryUserSetPkgId", "a{st}", c.answer));
        ASSERT_TRUE(peer.clearCalls());
        uint64_t id = 99;
        EXPECT_EQ(c.expected, queryUserSetPkgId("a", &id));
        EXPECT_EQ(c.id, id);
        EXPECT_EQ(R"(queryUserSetPkgId(s) "a")", oneCall(peer));
    }
}

TEST_F(PkgIds, ShowListsEntriesByNameWithPkgIdFilled)
{
    ASSERT_TRUE(peer.reply("showUserSetPkgId", "a{st}", R"({"b": 2, "a": 1})"));
    USER_SET_ITEM* out = nullptr;
    ASSERT_EQ(2, showUserSetPkgId(&out));
    EXPECT_STREQ("a", out[0].name);
    EXPECT_EQ(1u, out[0].id.pkg_id);
    EXPECT_STREQ("b", out[1].name);
    EXPECT_EQ(2u, out[1].id.pkg_id);
    std::free(out);
    EXPECT_EQ("showUserSetPkgId() ", oneCall(peer));
}

TEST_F(PkgIds, WrongReplyShapeIsABusError)
{
    Streams streams;
    ASSERT_TRUE(peer.reply("getPkgIds", "asi", R"(["x"], 0)"));
    uint64_t ids[1] = {5};
    const char* names[] = {"a"};
    EXPECT_EQ(-2, getPkgIds(names, 1, ids));
    EXPECT_EQ(5u, ids[0]);
    EXPECT_EQ("DBus error occurred: type mismatch\n", streams.err());
}

}  // namespace
