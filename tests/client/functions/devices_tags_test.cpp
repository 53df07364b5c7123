// Device and kernel-module ids, system tags, path hashes and label restores:
// the lines on standard output and the integer base they leave behind.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "functions_test.h"

using familytest::FamilyTest;
using familytest::oneCall;
using familytest::Streams;

namespace {

class DevicesTags : public FamilyTest {};

TEST_F(DevicesTags, SingleIdPrintsItsLineInHexAndStoresEveryAnswer)
{
    struct Case {
        int (*call)(const char*, unsigned long*);
        const char* member;
        const char* name;
        const char* answer;
        int expected;
        unsigned long oid;
        const char* line;
    } cases[] = {
        {getDeviceOid, "getDeviceOid", "sdb", "42", 0, 42, "sdboid: 2a\n"},
        {getKernelModuleOid, "getKernelModuleOid", "ext4", "42", 0, 42, "ext4 oid: 2a\n"},
        {getDeviceOid, "getDeviceOid", "sdb", "0", 0, 0, "sdboid: 0\n"},
        {getKernelModuleOid, "getKernelModuleOid", "m", "18446744073709551614", 0, UINT64_MAX - 1,
         "m oid: fffffffffffffffe\n"},
        {getDeviceOid, "getDeviceOid", "sdb", "18446744073709551615", -1, UINT64_MAX, ""},
        {getKernelModuleOid, "getKernelModuleOid", "ext4", "18446744073709551615", -1, UINT64_MAX, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.member) + " " + c.answer);
        ASSERT_TRUE(peer.reply(c.member, "t", c.answer));
        ASSERT_TRUE(peer.clearCalls());
        Streams streams;
        unsigned long oid = 5;
        EXPECT_EQ(c.expected, c.call(c.name, &oid));
        EXPECT_EQ(c.oid, oid);
        EXPECT_EQ(c.line, streams.out());
        EXPECT_EQ("", streams.err());
        EXPECT_EQ(std::string(c.member) + "(s) \"" + c.name + "\"", oneCall(peer));
    }
}

// A library call must not switch the caller's integers to hex: the base is
// restored, so the tag line that follows is decimal.
TEST_F(DevicesTags, CallersStreamKeepsItsBaseAndTagLineIsDecimal)
{
    ASSERT_TRUE(peer.reply("getDeviceOid", "t", "42"));
    ASSERT_TRUE(peer.reply("addTagFullSystem", "i", "-1"));
    Streams streams;
    unsigned long oid = 0;
    ASSERT_EQ(0, getDeviceOid("sdb", &oid));
    std::cout << 255 << "\n";
    addTagFullSystem("/opt/app", {"t1", "t2"});
    std::cout << std::hex;
    addTagFullSystem("/opt/app", {});  // the caller's own base is used as it is
    std::cout << std::dec;
    EXPECT_EQ("sdboid: 2a\n255\n/opt/app addTagFullSystem: 4294967295\n/opt/app addTagFullSystem: ffffffff\n",
              streams.out());
    auto calls = familytest::serviceCalls(peer);
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(R"("/opt/app", ["t1", "t2"])", calls[1].body);
    EXPECT_EQ("sas", calls[2].signature);
    EXPECT_EQ(R"("/opt/app", [])", calls[2].body);
}

TEST_F(DevicesTags, ListsStoreWholeRecordsAndKeepOtherEntries)
{
    struct Case {
        int (*call)(std::vector<std::string>, std::map<std::string, VORX_ID>&);
        const char* member;
    } cases[] = {{getDeviceOids, "getDeviceOids"}, {getKernelModuleOids, "getKernelModuleOids"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.member);
        ASSERT_TRUE(peer.reply(c.member, "a{st}", R"({"C": 18446744073709551615, "A": 9, "A": 10})"));
        ASSERT_TRUE(peer.clearCalls());
        std::map<std::string, VORX_ID> oids{{"A", {1, 2, 3}}, {"B", {4, 5, 6}}};
        EXPECT_EQ(0, c.call({"A", "x"}, oids));
        EXPECT_EQ(std::string(c.member) + R"((as) ["A", "x"])", oneCall(peer));
        ASSERT_EQ(3u, oids.size());
        EXPECT_EQ(10u, oids["A"].pkg_id);
        EXPECT_EQ(0u, oids["A"].file_id);
        EXPECT_EQ(0u, oids["A"].path_id);
        EXPECT_EQ(4u, oids["B"].pkg_id);
        EXPECT_EQ(6u, oids["B"].path_id);
        EXPECT_EQ(UINT64_MAX, oids["C"].pkg_id);  // no failure value in a list
        EXPECT_EQ(0u, oids["C"].file_id);

        ASSERT_TRUE(peer.reply(c.member, "a{st}", "{}"));
        ASSERT_TRUE(peer.clearCalls());
        EXPECT_EQ(0, c.call({}, oids));
        EXPECT_EQ(std::string(c.member) + "(as) []", oneCall(peer));
        EXPECT_EQ(3u, oids.size());
    }
}

TEST_F(DevicesTags, TextAnswersPassThroughByteForByte)
{
    // Long, non-ASCII, and with bytes that a careless copy would trip on.
    std::string big;
    for (int i = 0; i < 20000; ++i) big += "h\xc3\xa9\\\"";
    std::string quoted;
    for (char ch : big) quoted += (ch == '\\' || ch == '"') ? std::string("\\") + ch : std::string(1, ch);
    struct Case {
        const char* member;
        std::function<std::string()> call;
        const char* sent;
    } cases[] = {
        {"getPathSm3HashValue", [] { return getPathSm3HashValue("/usr/bin/ls"); }, R"("/usr/bin/ls")"},
        {"restoreSingleFileLabel", [] { return restoreSingleFileLabel(std::string("/etc/x")); }, R"("/etc/x")"},
        {"restoreSingleFileInitLabel", [] { return restoreSingleFileInitLabel(std::string("")); }, R"("")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.member);
        Streams streams;
        ASSERT_TRUE(peer.reply(c.member, "s", "\"" + quoted + "\""));
        ASSERT_TRUE(peer.clearCalls());
        EXPECT_EQ(big, c.call());
        EXPECT_EQ(std::string(c.member) + "(s) " + c.sent, oneCall(peer));
        ASSERT_TRUE(peer.reply(c.member, "s", R"("")"));
        EXPECT_EQ("", c.call());
        EXPECT_EQ("", streams.err());
        EXPECT_EQ("", streams.out());
    }
}

}  // namespace
