// Package labelling and the label-setting status, whose codes differ from the
// other client functions.
#include <string>

#include <gtest/gtest.h>

#include <vorxlabelmgr/labelmgr_client.h>

#include "functions_test.h"

using familytest::FamilyTest;
using familytest::oneCall;

namespace {

class PkgLabel : public FamilyTest {};

TEST_F(PkgLabel, SetLabelForPkgSendsFilesThenNameAndFailsOnlyOnMinusOne)
{
    const char* files[] = {"/usr/bin/a", "/usr/lib/b"};
    struct Case {
        const char* status;
        int count;
        int expected;
        const char* sent;
    } cases[] = {
        {"0", 2, 0, R"(setLabelForPkg(ass) ["/usr/bin/a", "/usr/lib/b"], "pkg")"},
        {"5", 1, 0, R"(setLabelForPkg(ass) ["/usr/bin/a"], "pkg")"},
        {"-2", 1, 0, R"(setLabelForPkg(ass) ["/usr/bin/a"], "pkg")"},
        {"-1", 2, -2, R"(setLabelForPkg(ass) ["/usr/bin/a", "/usr/lib/b"], "pkg")"},
        // A negative count is not refused: it sends no files.
        {"0", -1, 0, R"(setLabelForPkg(ass) [], "pkg")"},
        {"-1", -1, -2, R"(setLabelForPkg(ass) [], "pkg")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.status) + " count " + std::to_string(c.count));
        ASSERT_TRUE(peer.reply("setLabelForPkg", "i", c.status));
        ASSERT_TRUE(peer.clearCalls());
        EXPECT_EQ(c.expected, setLabelForPkg(files, c.count, "pkg"));
        EXPECT_EQ(c.sent, oneCall(peer));
    }
}

TEST_F(PkgLabel, GetLabelSetStatusReturnsTheStatusAsItComes)
{
    for (int status : {2, -1, 0, -3, 2147483647}) {
        SCOPED_TRACE(status);
        ASSERT_TRUE(peer.reply("getLabelSetStatus", "i", std::to_string(status)));
        EXPECT_EQ(status, getLabelSetStatus());
    }
}

}  // namespace
