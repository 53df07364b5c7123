// Object and subject ids of files: every case runs for both twins.
#include <cstdint>
#include <functional>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "functions_test.h"

using familytest::FamilyTest;
using familytest::oneCall;
using familytest::Streams;

namespace {

struct Twin {
    const char* family;  // "Oid" or "Sid"
    int (*get)(const char*, VORX_ID*);
    int (*set)(const char*, VORX_ID, int);
    int (*query)(const char*, USER_SET_ITEM**, int);
    int (*show)(USER_SET_ITEM**);
    int (*del)(const char*, int);
    int (*clear)(void);

    std::string m(const char* prefix) const { return std::string(prefix) + "File" + family; }
};

const Twin kTwins[] = {
    {"Oid", getFileOid, setFileOid, queryUserSetFileOid, showUserSetFileOid, delFileOid, clearFileOid},
    {"Sid", getFileSid, setFileSid, queryUserSetFileSid, showUserSetFileSid, delFileSid, clearFileSid},
};

constexpr uint64_t kOnes = UINT64_MAX;

class FileIds : public FamilyTest {};

TEST_F(FileIds, ReadConvertsTheIdDictionary)
{
    struct Case {
        const char* answer;
        int expected;
        VORX_ID id;
    } cases[] = {
        {R"({"pkg_id": 1, "file_id": 2, "path_id": 3})", 0, {1, 2, 3}},
        {R"({"path_id": 18446744073709551615, "file_id": 18446744073709551615, "pkg_id": 18446744073709551615})",
         -1,
         {0, 0, 0}},
        {R"({"pkg_id": 18446744073709551615, "file_id": 18446744073709551615, "path_id": 7})", 0, {kOnes, kOnes, 7}},
        // A missing key reads as 0, so two all-ones values are no failure.
        {R"({"pkg_id": 18446744073709551615, "file_id": 18446744073709551615})", 0, {kOnes, kOnes, 0}},
        {R"({})", 0, {0, 0, 0}},
        {R"({"path_id": 5, "other": 9})", 0, {0, 0, 5}},
        {R"({"pkg_id": 1, "pkg_id": 4})", 0, {4, 0, 0}},  // the last of a repeated key
    };
    for (const auto& t : kTwins) {
        for (const auto& c : cases) {
            SCOPED_TRACE(t.m("get") + " " + c.answer);
            ASSERT_TRUE(peer.reply(t.m("get"), "a{st}", c.answer));
            ASSERT_TRUE(peer.clearCalls());
            VORX_ID id{11, 12, 13};
            EXPECT_EQ(c.expected, t.get("/etc/passwd", &id));
            EXPECT_EQ(c.id, id);
            EXPECT_EQ(t.m("get") + R"((s) "/etc/passwd")", oneCall(peer));
        }
    }
}

TEST_F(FileIds, SetSendsAllThreeKeysInKeyOrderAndTheOptionUnchanged)
{
    for (const auto& t : kTwins) {
        SCOPED_TRACE(t.family);
        ASSERT_TRUE(peer.reply(t.m("set"), "i", "0"));
        ASSERT_TRUE(peer.clearCalls());
        EXPECT_EQ(0, t.set("/a", VORX_ID{1, 2, 3}, -7));
        EXPECT_EQ(t.m("set") + R"((sa{st}i) "/a", {"file_id": 2, "path_id": 3, "pkg_id": 1}, -7)", oneCall(peer));
        ASSERT_TRUE(peer.clearCalls());
        EXPECT_EQ(0, t.set("", VORX_ID{0, 0, 0}, 0));
        EXPECT_EQ(t.m("set") + R"((sa{st}i) "", {"file_id": 0, "path_id": 0, "pkg_id": 0}, 0)", oneCall(peer));
    }
}

TEST_F(FileIds, OnlyStatusMinusOneFailsSetDelAndClear)
{
    for (const auto& t : kTwins) {
        const StatusCase cases[] = {
            {t.m("set"),
             [&] {
                 return t.set("/a", VORX_ID{1, 2, 3}, 1);
             },
             t.m("set") + R"((sa{st}i) "/a", {"file_id": 2, "path_id": 3, "pkg_id": 1}, 1)"},
            {t.m("delUserSet"), [&] { return t.del("/a", -1); }, t.m("delUserSet") + R"((si) "/a", -1)"},
            {t.m("delAllUserSet"), [&] { return t.clear(); }, t.m("delAllUserSet") + "() "},
        };
        for (const auto& c : cases) expectFileStatuses(c);
    }
}

TEST_F(FileIds, QueryAndShowHandOutOneRecordPerPathInByteOrder)
{
    const char* answer =
        R"({"/usr/b": {"pkg_id": 1, "file_id": 2, "path_id": 3},)"
        R"( "/usr/a/x": {"pkg_id": 18446744073709551615, "file_id": 18446744073709551615, "path_id": 18446744073709551615},)"
        R"( "/usr/a": {"path_id": 6, "file_id": 5, "pkg_id": 4, "extra": 9}, "/USR": {"pkg_id": 7, "file_id": 8, "path_id": 9}})";
    for (const auto& t : kTwins) {
        for (bool show : {false, true}) {
            std::string member = t.m(show ? "showUserSet" : "queryUserSet");
            SCOPED_TRACE(member);
            ASSERT_TRUE(peer.reply(member, "a{sa{st}}", answer));
            ASSERT_TRUE(peer.clearCalls());
            USER_SET_ITEM* out = nullptr;
            int n = show ? t.show(&out) : t.query("/usr", &out, -3);
            ASSERT_EQ(4, n);
            EXPECT_EQ(member + (show ? "() " : R"((si) "/usr", -3)"), oneCall(peer));
            const char* names[] = {"/USR", "/usr/a", "/usr/a/x", "/usr/b"};
            VORX_ID ids[] = {{7, 8, 9}, {4, 5, 6}, {kOnes, kOnes, kOnes}, {1, 2, 3}};
            for (int i = 0; i < 4; ++i) {
                EXPECT_STREQ(names[i], out[i].name);
                EXPECT_EQ(ids[i], out[i].id);
            }
            std::free(out);
        }
    }
}

TEST_F(FileIds, EmptyListingAndBusErrorLeaveOutAlone)
{
    USER_SET_ITEM* const sentinel = reinterpret_cast<USER_SET_ITEM*>(0x10);
    for (const auto& t : kTwins) {
        SCOPED_TRACE(t.family);
        ASSERT_TRUE(peer.reply(t.m("showUserSet"), "a{sa{st}}", "{}"));
        USER_SET_ITEM* out = sentinel;
        EXPECT_EQ(0, t.show(&out));
        EXPECT_EQ(sentinel, out);

        Streams streams;
        ASSERT_TRUE(peer.reply(t.m("queryUserSet"), "a{st}", R"({"/a": 1})"));
        EXPECT_EQ(-2, t.query("/a", &out, 0));
        EXPECT_EQ(sentinel, out);
        EXPECT_EQ("DBus error occurred: dictionary value expected\n", streams.err());
    }
}

// The bus refuses the client's second match rule, so the call fails while the
// client is being built: the record is zero all the same.
class FileIdsRefusedMatch : public FamilyTest {
protected:
    std::string extraBusConfig() const override { return R"(<limit name="max_match_rules_per_connection">1</limit>)"; }
};

TEST_F(FileIdsRefusedMatch, ReadLeavesTheRecordZero)
{
    for (const auto& t : kTwins) {
        SCOPED_TRACE(t.family);
        ASSERT_TRUE(peer.reply(t.m("get"), "a{st}", R"({"pkg_id": 1})"));
        Streams streams;
        VORX_ID id{11, 12, 13};
        EXPECT_EQ(-2, t.get("/a", &id));
        EXPECT_EQ((VORX_ID{0, 0, 0}), id);
        EXPECT_EQ(0u, streams.err().find("DBus error occurred: ")) << streams.err();
    }
    EXPECT_TRUE(familytest::serviceCalls(peer).empty());
}

}  // namespace
