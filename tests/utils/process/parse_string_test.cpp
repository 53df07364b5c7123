#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "log_capture.h"
#include "utils/process_label_internal.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using vorx::utils::parseString;

namespace {

struct SplitCase {
    const char* name;
    std::string text;
    std::vector<std::string> tokens;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class ParseString : public testing::TestWithParam<SplitCase> {};

TEST_P(ParseString, KeepsEveryNonEmptyTokenInOrder)
{
    // Tokens are appended after what the caller already holds.
    std::vector<std::string> out = {"kept"};
    parseString(GetParam().text, out, ':');
    std::vector<std::string> expected = {"kept"};
    expected.insert(expected.end(), GetParam().tokens.begin(), GetParam().tokens.end());
    EXPECT_THAT(out, ElementsAreArray(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseString,
    testing::Values(SplitCase{"One", "abc", {"abc"}}, SplitCase{"Five", "a:b:c:d:e\n", {"a", "b", "c", "d", "e\n"}},
                    SplitCase{"EmptyTokensDropped", "::a:::b::", {"a", "b"}}, SplitCase{"OnlyDelimiters", ":::", {}},
                    SplitCase{"OtherSeparatorsAreText", "a-b c\n:d", {"a-b c\n", "d"}},
                    SplitCase{"NulIsText", std::string("a\0b:c", 5), {std::string("a\0b", 3), "c"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

using ParseStringLogged = vorxtest::CapturedLogTest;

TEST_F(ParseStringLogged, EmptyInputIsLoggedAndLeavesTheOutputAlone)
{
    std::vector<std::string> out = {"kept"};
    parseString("", out, ':');
    EXPECT_THAT(out, ElementsAre("kept"));
    EXPECT_EQ(log.takeText(), "[ERROR] parseString : input empty...\n");
}

}  // namespace
