// Device and kernel-module ids, system tags, path hashes and label restores:
// the lines on standard output, which leave every stream's base alone.
#include <atomic>
#include <cstdint>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>
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

// The library formats its lines apart: it neither switches the caller's
// integers to hex nor takes the caller's base for its own decimal line.
TEST_F(DevicesTags, CallersStreamKeepsItsBaseAndTagLineIsDecimal)
{
    ASSERT_TRUE(peer.reply("getDeviceOid", "t", "42"));
    ASSERT_TRUE(peer.reply("addTagFullSystem", "i", "-1"));
    Streams streams;
    unsigned long oid = 0;
    ASSERT_EQ(0, getDeviceOid("sdb", &oid));
    std::cout << 255 << "\n";
    addTagFullSystem("/opt/app", {"t1", "t2"});
    std::cout << std::hex << std::showbase;
    addTagFullSystem("/opt/app", {});
    EXPECT_EQ(std::cout.flags(), std::ios_base::hex | std::ios_base::showbase | std::ios_base::skipws);
    std::cout << std::dec << std::noshowbase;
    EXPECT_EQ("sdboid: 2a\n255\n/opt/app addTagFullSystem: 4294967295\n/opt/app addTagFullSystem: 4294967295\n",
              streams.out());
    auto calls = familytest::serviceCalls(peer);
    ASSERT_EQ(3u, calls.size());
    EXPECT_EQ(R"("/opt/app", ["t1", "t2"])", calls[1].body);
    EXPECT_EQ("sas", calls[2].signature);
    EXPECT_EQ(R"("/opt/app", [])", calls[2].body);
}

// Another thread's integers on std::cout keep their base while getDeviceOid
// prints, and each id line arrives in one piece: taking the id lines out
// leaves exactly what the other thread wrote.
TEST_F(DevicesTags, IdLinesNeverDisturbAnotherThreadsIntegers)
{
    ASSERT_TRUE(peer.reply("getDeviceOid", "t", "11259375"));  // abcdef
    testing::internal::CaptureStdout();
    std::atomic<bool> stop{false};
    std::atomic<int> printed{0};
    std::thread ids([&] {
        unsigned long oid = 0;
        while (!stop && getDeviceOid("dev", &oid) == 0) ++printed;
    });
    std::string expected;
    for (int n = 0; n < 20000 || (printed < 20 && n < 2000000); ++n) {
        std::cout << 1000000 + n << '\n';
        expected += std::to_string(1000000 + n) + '\n';
    }
    stop = true;
    ids.join();
    std::string out = testing::internal::GetCapturedStdout();

    const std::string idLine = "devoid: abcdef\n";
    std::string rest;
    int idLines = 0;
    size_t from = 0;
    for (size_t at; (at = out.find(idLine, from)) != std::string::npos; from = at + idLine.size(), ++idLines)
        rest.append(out, from, at - from);
    rest.append(out, from, std::string::npos);
    EXPECT_EQ(idLines, printed.load());
    EXPECT_GE(idLines, 20);
    EXPECT_EQ(rest.find_first_not_of("0123456789\n"), std::string::npos) << "hex among the other thread's integers";
    EXPECT_TRUE(rest == expected) << "the other thread's output changed";
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
