// Policy parsing: the request goes out unchanged, the answer is sorted by
// category into id records that are only ever appended.
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "functions_test.h"

using familytest::FamilyTest;
using familytest::oneCall;
using familytest::Streams;

namespace {

using Ids = std::map<std::string, std::map<std::string, std::vector<VORX_ID>>>;

// {pkg_id, file_id, path_id} per record, "cat/name: {..} {..}; " per list.
std::string show(const Ids& ids)
{
    std::ostringstream os;
    for (const auto& c : ids)
        for (const auto& n : c.second) {
            os << c.first << "/" << n.first << ":";
            for (const auto& r : n.second) os << " {" << r.pkg_id << "," << r.file_id << "," << r.path_id << "}";
            os << "; ";
        }
    return os.str();
}

class Policies : public FamilyTest {};

TEST_F(Policies, SendsThePolicyMapUnchanged)
{
    ASSERT_TRUE(peer.reply("policies_parse", "a{sa{sa{st}}}", "{}"));
    Ids ids;
    EXPECT_EQ(0, policies_parse({{"b", {"x", "y"}}, {"a", {}}}, ids));
    EXPECT_EQ(R"(policies_parse(a{sas}) {"a": [], "b": ["x", "y"]})", oneCall(peer));
    EXPECT_TRUE(ids.empty());
}

TEST_F(Policies, AnswerIsSortedByCategory)
{
    struct Case {
        const char* answer;
        const char* ids;
    } cases[] = {
        {"{}", ""},
        {R"({"other": {}})", ""},
        // Empty name dictionaries: nothing under the named categories, one zero record elsewhere.
        {R"({"subject_pkg": {"n": {}}, "object_recurfile": {"n": {}, "m": {"k": 4}}, "other": {"n": {}}})",
         "object_recurfile/m: {0,0,4}; other/n: {0,0,0}; "},
        {R"({"subject_pkg": {"n": {"pkg_id": 5, "file_id": 7}}})", "subject_pkg/n: {7,0,0} {5,0,0}; "},
        {R"({"object_pkg": {"n": {"x": 1}}, "subject_recurfile": {"n": {"b": 2, "a": 1}}})",
         "object_pkg/n: {1,0,0}; subject_recurfile/n: {0,0,1} {0,0,2}; "},
        {R"({"rules": {"n": {"pkg_id": 1, "path_id": 3, "zzz": 9}}})", "rules/n: {1,0,3}; "},
        // Only exact category names carry a meaning.
        {R"({"Subject_pkg": {"n": {"pkg_id": 1, "file_id": 2}}})", "Subject_pkg/n: {1,2,0}; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ASSERT_TRUE(peer.reply("policies_parse", "a{sa{sa{st}}}", c.answer));
        Ids ids;
        EXPECT_EQ(0, policies_parse({}, ids));
        EXPECT_EQ(c.ids, show(ids));
    }
}

TEST_F(Policies, RecordsAreAppendedNeverReplaced)
{
    ASSERT_TRUE(peer.reply("policies_parse", "a{sa{sa{st}}}", R"({"object_pkg": {"n": {"k": 1}}})"));
    Ids ids{{"object_pkg", {{"n", {{9, 9, 9}}}}}, {"kept", {{"m", {}}}}};
    EXPECT_EQ(0, policies_parse({}, ids));
    EXPECT_EQ(0, policies_parse({}, ids));
    EXPECT_EQ("kept/m:; object_pkg/n: {9,9,9} {1,0,0} {1,0,0}; ", show(ids));
}

TEST_F(Policies, FailedCallWritesTheErrorLineToStandardOutput)
{
    ASSERT_TRUE(peer.reply("policies_parse", "a{sa{st}}", R"({"c": {"n": 1}})"));
    Streams streams;
    Ids ids{{"c", {{"n", {{1, 2, 3}}}}}};
    EXPECT_EQ(-1, policies_parse({}, ids));
    EXPECT_EQ("c/n: {1,2,3}; ", show(ids));
    EXPECT_EQ("DBus error occurred: dictionary value expected\n", streams.out());
    EXPECT_EQ("", streams.err());
}

}  // namespace
