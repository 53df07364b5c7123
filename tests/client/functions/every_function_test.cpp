// Tables over all the functions: refused arguments, and what a failed call
// gives each of them.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "functions_test.h"

using familytest::FamilyTest;
using familytest::kErrorLine;
using familytest::serviceCalls;
using familytest::Streams;

namespace {

class EveryFunction : public FamilyTest {};

USER_SET_ITEM* const kOutSentinel = reinterpret_cast<USER_SET_ITEM*>(0x10);

TEST_F(EveryFunction, RefusedArgumentsGiveMinusOneWithoutTrafficOrOutput)
{
    const char* names[] = {"a"};
    uint64_t ids[1] = {5};
    uint64_t id64 = 5;
    uint32_t id32 = 5;
    unsigned long oid = 5;
    VORX_ID rec{1, 2, 3};
    USER_SET_ITEM* out = kOutSentinel;
    struct Case {
        const char* what;
        std::function<int()> call;
    } cases[] = {
        {"getPkgIds names", [&] { return getPkgIds(nullptr, 1, ids); }},
        {"getPkgIds ids", [&] { return getPkgIds(names, 1, nullptr); }},
        {"setPkgId", [&] { return setPkgId(nullptr, 1); }},
        {"queryUserSetPkgId name", [&] { return queryUserSetPkgId(nullptr, &id64); }},
        {"queryUserSetPkgId id", [&] { return queryUserSetPkgId("a", nullptr); }},
        {"showUserSetPkgId", [&] { return showUserSetPkgId(nullptr); }},
        {"delUserSetPkgId", [&] { return delUserSetPkgId(nullptr); }},
        {"getFileOid path", [&] { return getFileOid(nullptr, &rec); }},
        {"getFileOid oid", [&] { return getFileOid("/a", nullptr); }},
        {"setFileOid", [&] { return setFileOid(nullptr, rec, 0); }},
        {"queryUserSetFileOid path", [&] { return queryUserSetFileOid(nullptr, &out, 0); }},
        {"queryUserSetFileOid out", [&] { return queryUserSetFileOid("/a", nullptr, 0); }},
        {"showUserSetFileOid", [&] { return showUserSetFileOid(nullptr); }},
        {"delFileOid", [&] { return delFileOid(nullptr, 0); }},
        {"getFileSid path", [&] { return getFileSid(nullptr, &rec); }},
        {"getFileSid sid", [&] { return getFileSid("/a", nullptr); }},
        {"setFileSid", [&] { return setFileSid(nullptr, rec, 0); }},
        {"queryUserSetFileSid path", [&] { return queryUserSetFileSid(nullptr, &out, 0); }},
        {"queryUserSetFileSid out", [&] { return queryUserSetFileSid("/a", nullptr, 0); }},
        {"showUserSetFileSid", [&] { return showUserSetFileSid(nullptr); }},
        {"delFileSid", [&] { return delFileSid(nullptr, 0); }},
        {"getFileTid path", [&] { return getFileTid(nullptr, &id32); }},
        {"getFileTid tid", [&] { return getFileTid("/a", nullptr); }},
        {"setFileTid path", [&] { return setFileTid(nullptr, 1, 0); }},
        {"setFileTid zero", [&] { return setFileTid("/a", 0, 0); }},
        {"queryUserSetFileTid path", [&] { return queryUserSetFileTid(nullptr, &out, 0); }},
        {"queryUserSetFileTid out", [&] { return queryUserSetFileTid("/a", nullptr, 0); }},
        {"showUserSetFileTid", [&] { return showUserSetFileTid(nullptr); }},
        {"delFileTid", [&] { return delFileTid(nullptr, 0); }},
        {"getFileInheritFlag path", [&] { return getFileInheritFlag(nullptr, &id32); }},
        {"getFileInheritFlag flag", [&] { return getFileInheritFlag("/a", nullptr); }},
        {"setFileInheritFlag", [&] { return setFileInheritFlag(nullptr, 0, 0); }},
        {"queryUserSetFileInheritFlag path", [&] { return queryUserSetFileInheritFlag(nullptr, &out, 0); }},
        {"queryUserSetFileInheritFlag out", [&] { return queryUserSetFileInheritFlag("/a", nullptr, 0); }},
        {"showUserSetFileInheritFlag", [&] { return showUserSetFileInheritFlag(nullptr); }},
        {"delFileInheritFlag", [&] { return delFileInheritFlag(nullptr, 0); }},
        {"setLabelForPkg files", [&] { return setLabelForPkg(nullptr, 1, "p"); }},
        {"setLabelForPkg count", [&] { return setLabelForPkg(names, 0, "p"); }},
        {"setLabelForPkg name", [&] { return setLabelForPkg(names, 1, nullptr); }},
        {"getDeviceOid device", [&] { return getDeviceOid(nullptr, &oid); }},
        {"getDeviceOid oid", [&] { return getDeviceOid("sdb", nullptr); }},
        {"getKernelModuleOid module", [&] { return getKernelModuleOid(nullptr, &oid); }},
        {"getKernelModuleOid oid", [&] { return getKernelModuleOid("ext4", nullptr); }},
    };
    Streams streams;
    std::ios_base::fmtflags flags = std::cout.flags();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(-1, c.call());
    }
    EXPECT_EQ(5u, ids[0]);
    EXPECT_EQ(5u, id64);
    EXPECT_EQ(5u, id32);
    EXPECT_EQ(5u, oid);
    EXPECT_EQ(1u, rec.pkg_id);
    EXPECT_EQ(kOutSentinel, out);
    EXPECT_EQ(flags, std::cout.flags());
    EXPECT_EQ("", streams.out());
    EXPECT_EQ("", streams.err());
    EXPECT_TRUE(serviceCalls(peer).empty());
}

// Each function against a service that answers every member with an error:
// its code, the error line on the right stream, and its out-parameters.
TEST_F(EveryFunction, FailedCallGivesEachFunctionItsBusCodeAndOneErrorLine)
{
    failEverything({"getPkgIds",
                    "setPkgId",
                    "queryUserSetPkgId",
                    "showUserSetPkgId",
                    "delUserSetPkgId",
                    "delAllUserSetPkgId",
                    "getFileOid",
                    "setFileOid",
                    "queryUserSetFileOid",
                    "showUserSetFileOid",
                    "delUserSetFileOid",
                    "delAllUserSetFileOid",
                    "getFileSid",
                    "setFileSid",
                    "queryUserSetFileSid",
                    "showUserSetFileSid",
                    "delUserSetFileSid",
                    "delAllUserSetFileSid",
                    "getFileTid",
                    "setFileTid",
                    "queryUserSetFileTid",
                    "showUserSetFileTid",
                    "delUserSetFileTid",
                    "delAllUserSetFileTid",
                    "getFileInheritFlag",
                    "setFileInheritFlag",
                    "queryUserSetFileInheritFlag",
                    "showUserSetFileInheritFlag",
                    "delUserSetFileInheritFlag",
                    "delAllUserSetFileInheritFlag",
                    "setLabelForPkg",
                    "getKernelModuleOid",
                    "getKernelModuleOids",
                    "getDeviceOid",
                    "getDeviceOids",
                    "addTagFullSystem",
                    "getPathSm3HashValue",
                    "policies_parse",
                    "restoreSingleFileLabel",
                    "restoreSingleFileInitLabel",
                    "getLabelSetStatus"});
    const char* names[] = {"a"};
    uint64_t ids[1] = {5};
    uint64_t id64 = 5;
    uint32_t id32 = 5;
    unsigned long oid = 5;
    VORX_ID rec{1, 2, 3};
    USER_SET_ITEM* out = kOutSentinel;
    std::map<std::string, VORX_ID> oids{{"x", {1, 2, 3}}};
    std::map<std::string, std::map<std::string, std::vector<VORX_ID>>> policyIds{{"c", {{"n", {{1, 2, 3}}}}}};
    std::string text = "unchanged";
    enum Stream { Err, Out };
    struct Case {
        const char* what;
        std::function<int()> call;
        int code;
        Stream stream = Err;
        std::function<bool()> untouched = [] { return true; };
    };
    auto outUntouched = [&] { return out == kOutSentinel; };
    Case cases[] = {
        {"getPkgIds", [&] { return getPkgIds(names, 1, ids); }, -2, Err, [&] { return ids[0] == 5; }},
        {"setPkgId", [&] { return setPkgId("a", 1); }, -2},
        {"queryUserSetPkgId", [&] { return queryUserSetPkgId("a", &id64); }, -2, Err, [&] { return id64 == 5; }},
        {"showUserSetPkgId", [&] { return showUserSetPkgId(&out); }, -2, Err, outUntouched},
        {"delUserSetPkgId", [&] { return delUserSetPkgId("a"); }, -2},
        {"clearUserSetPkgId", [&] { return clearUserSetPkgId(); }, -2},
        // The object and subject ids are zeroed by a failed read.
        {"getFileOid", [&] { return getFileOid("/a", &rec); }, -2, Err,
         [&] { return rec.pkg_id == 0 && rec.file_id == 0 && rec.path_id == 0; }},
        {"setFileOid", [&] { return setFileOid("/a", rec, 0); }, -2},
        {"queryUserSetFileOid", [&] { return queryUserSetFileOid("/a", &out, 0); }, -2, Err, outUntouched},
        {"showUserSetFileOid", [&] { return showUserSetFileOid(&out); }, -2, Err, outUntouched},
        {"delFileOid", [&] { return delFileOid("/a", 0); }, -2},
        {"clearFileOid", [&] { return clearFileOid(); }, -2},
        {"getFileSid",
         [&] {
             return (rec = VORX_ID{1, 2, 3}), getFileSid("/a", &rec);
         },
         -2, Err, [&] { return rec.pkg_id == 0 && rec.file_id == 0 && rec.path_id == 0; }},
        {"setFileSid", [&] { return setFileSid("/a", rec, 0); }, -2},
        {"queryUserSetFileSid", [&] { return queryUserSetFileSid("/a", &out, 0); }, -2, Err, outUntouched},
        {"showUserSetFileSid", [&] { return showUserSetFileSid(&out); }, -2, Err, outUntouched},
        {"delFileSid", [&] { return delFileSid("/a", 0); }, -2},
        {"clearFileSid", [&] { return clearFileSid(); }, -2},
        {"getFileTid", [&] { return getFileTid("/a", &id32); }, -2, Err, [&] { return id32 == 5; }},
        {"setFileTid", [&] { return setFileTid("/a", 1, 0); }, -2},
        {"queryUserSetFileTid", [&] { return queryUserSetFileTid("/a", &out, 0); }, -2, Err, outUntouched},
        {"showUserSetFileTid", [&] { return showUserSetFileTid(&out); }, -2, Err, outUntouched},
        {"delFileTid", [&] { return delFileTid("/a", 0); }, -2},
        {"clearFileTid", [&] { return clearFileTid(); }, -2},
        {"getFileInheritFlag", [&] { return getFileInheritFlag("/a", &id32); }, -2, Err, [&] { return id32 == 5; }},
        {"setFileInheritFlag", [&] { return setFileInheritFlag("/a", 1, 0); }, -2},
        {"queryUserSetFileInheritFlag", [&] { return queryUserSetFileInheritFlag("/a", &out, 0); }, -2, Err,
         outUntouched},
        {"showUserSetFileInheritFlag", [&] { return showUserSetFileInheritFlag(&out); }, -2, Err, outUntouched},
        {"delFileInheritFlag", [&] { return delFileInheritFlag("/a", 0); }, -2},
        {"clearFileInheritFlag", [&] { return clearFileInheritFlag(); }, -2},
        {"setLabelForPkg", [&] { return setLabelForPkg(names, 1, "p"); }, -3},
        {"getLabelSetStatus", [&] { return getLabelSetStatus(); }, -1},
        {"getDeviceOid", [&] { return getDeviceOid("sdb", &oid); }, -2, Err, [&] { return oid == 5; }},
        {"getKernelModuleOid", [&] { return getKernelModuleOid("ext4", &oid); }, -2, Err, [&] { return oid == 5; }},
        {"getDeviceOids", [&] { return getDeviceOids({"x"}, oids); }, -1, Err,
         [&] { return oids.size() == 1 && oids["x"].pkg_id == 1 && oids["x"].path_id == 3; }},
        {"getKernelModuleOids", [&] { return getKernelModuleOids({"x"}, oids); }, -1, Err,
         [&] { return oids.size() == 1 && oids["x"].pkg_id == 1 && oids["x"].path_id == 3; }},
        {"policies_parse",
         [&] {
             return policies_parse({{"k", {"v"}}}, policyIds);
         },
         -1, Out, [&] { return policyIds.size() == 1 && policyIds["c"]["n"].size() == 1; }},
        {"addTagFullSystem", [&] { return addTagFullSystem("/p", {"t"}), 0; }, 0},
        {"getPathSm3HashValue", [&] { return text = getPathSm3HashValue("/p"), static_cast<int>(text.size()); }, 0},
        {"restoreSingleFileLabel", [&] { return text = restoreSingleFileLabel("/p"), static_cast<int>(text.size()); },
         0},
        {"restoreSingleFileInitLabel",
         [&] { return text = restoreSingleFileInitLabel("/p"), static_cast<int>(text.size()); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Streams streams;
        EXPECT_EQ(c.code, c.call());
        EXPECT_EQ(c.stream == Err ? kErrorLine : "", streams.err());
        EXPECT_EQ(c.stream == Out ? kErrorLine : "", streams.out());
        EXPECT_TRUE(c.untouched());
    }
    // Every function made its one call.
    EXPECT_EQ(sizeof cases / sizeof cases[0], serviceCalls(peer).size());
}

// A show call whose answer is empty, so it hands out nothing to free.
template <int (*Show)(USER_SET_ITEM**)>
void callShow()
{
    USER_SET_ITEM* out;
    Show(&out);
}

// The members without arguments go out with an empty body.
TEST_F(EveryFunction, NoArgumentMembersSendAnEmptyBody)
{
    struct Case {
        const char* member;
        const char* signature;
        const char* answer;
        std::function<void()> call;
    } cases[] = {
        {"showUserSetPkgId", "a{st}", "{}", callShow<showUserSetPkgId>},
        {"delAllUserSetPkgId", "i", "0", [] { clearUserSetPkgId(); }},
        {"showUserSetFileOid", "a{sa{st}}", "{}", callShow<showUserSetFileOid>},
        {"delAllUserSetFileOid", "i", "0", [] { clearFileOid(); }},
        {"showUserSetFileSid", "a{sa{st}}", "{}", callShow<showUserSetFileSid>},
        {"delAllUserSetFileSid", "i", "0", [] { clearFileSid(); }},
        {"showUserSetFileTid", "a{su}", "{}", callShow<showUserSetFileTid>},
        {"delAllUserSetFileTid", "i", "0", [] { clearFileTid(); }},
        {"showUserSetFileInheritFlag", "a{su}", "{}", callShow<showUserSetFileInheritFlag>},
        {"delAllUserSetFileInheritFlag", "i", "0", [] { clearFileInheritFlag(); }},
        {"getLabelSetStatus", "i", "0", [] { getLabelSetStatus(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.member);
        ASSERT_TRUE(peer.reply(c.member, c.signature, c.answer));
        ASSERT_TRUE(peer.clearCalls());
        c.call();
        auto calls = serviceCalls(peer);
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(c.member, calls[0].member);
        EXPECT_EQ("", calls[0].signature);
        EXPECT_EQ("", calls[0].body);
    }
}

}  // namespace

namespace {

// D-Bus cannot carry such text; each function reports it as a failed call
// with its own code instead of letting libdbus abort the process.
TEST_F(EveryFunction, TextThatIsNotUtf8IsAFailedCallWithoutTraffic)
{
    const char* bad = "bad\xff";
    const char* list[] = {"ok", bad};
    std::map<std::string, VORX_ID> oids;
    std::map<std::string, std::map<std::string, std::vector<VORX_ID>>> ids;
    uint64_t id64 = 0;
    struct Case {
        const char* what;
        std::function<int()> call;
        int code;
        bool onStdout = false;
    } cases[] = {
        {"getPkgIds", [&] { return getPkgIds(list, 2, &id64); }, -2},
        {"setFileOid", [&] { return setFileOid(bad, VORX_ID{}, 0); }, -2},
        {"queryUserSetFileTid",
         [&] {
             USER_SET_ITEM* o;
             return queryUserSetFileTid(bad, &o, 0);
         },
         -2},
        {"setLabelForPkg", [&] { return setLabelForPkg(list, 2, "p"); }, -3},
        {"getDeviceOids",
         [&] {
             return getDeviceOids({"ok", bad}, oids);
         },
         -1},
        {"policies_parse",
         [&] {
             return policies_parse({{"k", {bad}}}, ids);
         },
         -1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Streams streams;
        EXPECT_EQ(c.code, c.call());
        std::string line = c.onStdout ? streams.out() : streams.err();
        EXPECT_EQ(0u, line.find("DBus error occurred: ")) << line;
        EXPECT_EQ("", c.onStdout ? streams.err() : streams.out());
    }
    EXPECT_TRUE(serviceCalls(peer).empty());
}

}  // namespace
