// Before any header that brings in <functional>.
#include "utils/std_regex.h"

#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/pattern.h>

#include "log_capture.h"

using namespace std::string_literals;

namespace {

TEST(EscapeChars, EveryBackslashIsFoundAndRemovedUnpaired)
{
    EXPECT_EQ(containsEscapeChars("abc"), 0);
    EXPECT_EQ(containsEscapeChars(""), 0);
    EXPECT_EQ(containsEscapeChars("a\\b"), 1);
    EXPECT_EQ(removeEscapeChars("\\\\\\"), "");
    EXPECT_EQ(removeEscapeChars("a\\\\b"), "ab");  // not paired: both go
    EXPECT_EQ(removeEscapeChars("a\\*b\\"), "a*b");
    EXPECT_EQ(removeEscapeChars("a\0\\b"s), "a\0b"s);
}

TEST(ContainsWildcard, OnlyAnUnescapedStarQuestionMarkOrBracketCounts)
{
    struct {
        const char* pattern;
        int want;
    } cases[] = {
        {"a*", 1},    {"a]", 1},  {"x?", 1},    {"[a", 1}, {"a\\*", 0},   {"\\[a\\]", 0},
        {"{a,b}", 0}, {"abc", 0}, {"abc\\", 0}, {"", 0},   {"a\\\\*", 1}, {"\\\\\\*", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(containsWildcard(c.pattern), c.want) << c.pattern;
}

TEST(WildcardsToRegex, QuotesRegexCharactersAndTranslatesWildcardsSetsAndBraces)
{
    struct {
        std::string pattern, want;
    } cases[] = {
        {"*.txt", ".*\\.txt"},
        {"file?.log", "file.\\.log"},
        {"[!a]*", "[^a].*"},
        {"[!a]", "[^a]"},
        {"{a,b}.conf", "(a|b)\\.conf"},
        {"/usr/lib/*.so*", "/usr/lib/.*\\.so.*"},
        {"(x)", "\\(x\\)"},
        {"a\\*b", "a\\*b"},
        {"a\\\\b", "a\\\\b"},
        {"", ""},
        {"[*]", "[.*]"},
        {"[?]", "[.]"},
        {"[.]", "[\\.]"},
        {"[^a]", "[\\^a]"},
        {"[a-z]", "[a-z]"},
        {"{a,{b,c}}", "(a|(b|c)}"},
        {"abc\\", "abc"},
        {"a\\db", "adb"},
        {"[a\\-z]", "[a\\-z]"},
        {"{a\\,b}", "(a,b)"},
        {"a,b", "a,b"},
        {"a}", "a}"},
        {"[", "["},
        {"!x", "!x"},
        {"$^+|", "\\$\\^\\+\\|"},
        {"\\.\\$\\(\\{\\}\\]\\-\\|", "\\.\\$\\(\\{\\}\\]\\-\\|"},
        {"a b_c/\xe9", "a b_c/\xe9"},
        {"\\\0"s, "\0"s},  // an escaped NUL is no metacharacter
    };
    for (const auto& c : cases) EXPECT_EQ(wildcardsToRegex(c.pattern), c.want) << c.pattern;
}

TEST(MatchesPattern, WholeTextIgnoringCaseAndAcrossSlashes)
{
    struct {
        const char* pattern;
        const char* text;
        bool want;
    } cases[] = {
        {"/etc/*", "/etc/a/b", true},
        {"*.txt", ".hidden.txt", true},
        {"*.TXT", "notes.txt", true},
        {"*.txt", "NOTES.TXT", true},
        {"{a,b}.conf", "b.conf", true},
        {"{a,b}.conf", "c.conf", false},
        {"a,b", "a,b", true},
        {"a,b", "a", false},
        {"[!a]*", "bcd", true},
        {"[!a]*", "abc", false},
        {"[!a]*", "Abc", false},
        {"[*]", ".", true},
        {"[*]", "*", true},
        {"a\\*b", "a*b", true},
        {"a\\*b", "aab", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"?", "", false},
        {"?", "x", true},
        {"*.txt", "a.txt.bak", false},
        {"file?.log", "file1.log", true},
        {"a\\\\b", "a\\b", true},
        {"[a-c]x", "Bx", true},
        {"*.txt", "a\nb.txt", false},  // "." does not run over a newline
        {"{a,}x", "x", true},
        {"a}", "a}", true},
        {"]", "]", true},
    };
    for (const auto& c : cases) EXPECT_EQ(matchesPattern(c.pattern, c.text), c.want) << c.pattern << " / " << c.text;
}

TEST(MatchesPattern, UntranslatableExpressionsThrowRegexError)
{
    struct {
        const char* pattern;
        std::regex_constants::error_type code;
    } cases[] = {
        {"[abc", std::regex_constants::error_brack},
        {"[!", std::regex_constants::error_brack},
        {"{a,b", std::regex_constants::error_paren},
        {"{a,{b,c}}", std::regex_constants::error_paren},
        {"[z-a]", std::regex_constants::error_range},
        {"[[:nope:]]", std::regex_constants::error_collate},  // libstdc++ reports unknown classes so
    };
    for (const auto& c : cases) {
        try {
            matchesPattern(c.pattern, "abc");
            ADD_FAILURE() << c.pattern << " did not throw";
        } catch (const std::regex_error& e) {
            EXPECT_EQ(e.code(), c.code) << c.pattern;
        }
    }
}

// std::regex recursed once per character here and crashed on texts of some
// tens of kilobytes; these sizes must simply work.
TEST(MatchesPattern, MebibyteTexts)
{
    const size_t mib = 1u << 20;
    const std::string body(mib, 'a');
    EXPECT_TRUE(matchesPattern("*.txt", body + ".txt"));
    EXPECT_TRUE(matchesPattern("*.TXT", body + ".txt"));
    EXPECT_FALSE(matchesPattern("*.txt", body + ".txx"));
    EXPECT_FALSE(matchesPattern("*.txt", body + "\n.txt"));
    EXPECT_TRUE(matchesPattern("/data/{a*,b}/*", "/data/" + body + "/" + body));
    EXPECT_TRUE(matchesPattern("*a*a*a*b", body + "b"));
    EXPECT_FALSE(matchesPattern("*a*a*a*b", body));
    EXPECT_TRUE(matchesPattern("[!b]*", body));
}

TEST(MatchesPattern, MebibytePatterns)
{
    const size_t mib = 1u << 20;
    const std::string text(mib, 'a');
    EXPECT_TRUE(matchesPattern(text, text));
    EXPECT_FALSE(matchesPattern(text + "b", text));
    EXPECT_TRUE(matchesPattern(std::string(mib, '*'), text));
    EXPECT_TRUE(matchesPattern(std::string(mib, '?'), text));
    EXPECT_FALSE(matchesPattern(std::string(mib, '?'), text + "a"));
    std::string stars;
    for (size_t i = 0; i < mib / 2; ++i) stars += "a*";
    EXPECT_TRUE(matchesPattern(stars, text));
    std::string sets;
    for (size_t i = 0; i < mib / 4; ++i) sets += "[ab]";
    EXPECT_TRUE(matchesPattern(sets, std::string(mib / 4, 'B')));
    std::string braces;
    for (size_t i = 0; i < mib / 8; ++i) braces += "{x,a}";
    EXPECT_TRUE(matchesPattern(braces, std::string(mib / 8, 'a')));
    EXPECT_THROW(matchesPattern(std::string(mib, '{'), text), std::regex_error);
    EXPECT_THROW(matchesPattern(text + "[a", text), std::regex_error);
    EXPECT_THROW(matchesPattern(text + "[z-a]", text), std::regex_error);
}

// Callers' threads often have small stacks: the depth must not grow with the
// text or the pattern.
TEST(MatchesPattern, LongInputsOnASmallStack)
{
    struct Job {
        bool results[3] = {};
    } job;
    auto run = [](void* arg) -> void* {
        auto* j = static_cast<Job*>(arg);
        const std::string text(1u << 20, 'a');
        j->results[0] = matchesPattern("*.txt", text + ".txt");
        j->results[1] = matchesPattern("{a,b}*", text);
        j->results[2] = matchesPattern(text, text);
        return nullptr;
    };
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 512 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, run, &job), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attr);
    EXPECT_TRUE(job.results[0]);
    EXPECT_TRUE(job.results[1]);
    EXPECT_TRUE(job.results[2]);
}

// glob's own rules, on a real tree; every case may log.
class SearchFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        VORX_REQUIRE_LOG_CAPTURE();
        char tmpl[] = "/tmp/glob-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        for (const char* f : {"b.txt", "a.txt", ".h.txt", "c.log", "{a,b}", "d/x.txt"}) {
            if (std::string(f) == "d/x.txt") {
                ASSERT_EQ(mkdir((root + "/d").c_str(), 0755), 0);
            }
            std::ofstream(root + "/" + f) << "x";
        }
    }

    std::string root;
};

TEST_F(SearchFiles, SortedMatchesWithoutHiddenNames)
{
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    EXPECT_EQ(searchFilesByPattern(root + "/*.txt"), (std::vector<std::string>{root + "/a.txt", root + "/b.txt"}));
    EXPECT_EQ(
        searchFilesByPattern(root + "/*"),
        (std::vector<std::string>{root + "/a.txt", root + "/b.txt", root + "/c.log", root + "/d", root + "/{a,b}"}));
    EXPECT_EQ(searchFilesByPattern(root + "/*/x.txt"), std::vector<std::string>{root + "/d/x.txt"});
    EXPECT_EQ(searchFilesByPattern(root + "/c.log"), std::vector<std::string>{root + "/c.log"});
    EXPECT_EQ(searchFilesByPattern(root + "/\\*.log"), std::vector<std::string>{});
    EXPECT_TRUE(log.take() == std::vector<std::string>{"[ERROR] glob error: No matches found."});
}

TEST_F(SearchFiles, BracesAreOrdinaryCharacters)
{
    EXPECT_EQ(searchFilesByPattern(root + "/{a,b}"), std::vector<std::string>{root + "/{a,b}"});
}

TEST_F(SearchFiles, NoMatchLogsOnceAndGivesNothing)
{
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    EXPECT_TRUE(searchFilesByPattern(root + "/*.none").empty());
    EXPECT_EQ(log.take(), std::vector<std::string>{"[ERROR] glob error: No matches found."});
}

TEST_F(SearchFiles, TildeIsTheHomeDirectory)
{
    ASSERT_EQ(setenv("HOME", (root + "/d").c_str(), 1), 0);
    EXPECT_EQ(searchFilesByPattern("~"), std::vector<std::string>{root + "/d"});
    EXPECT_EQ(searchFilesByPattern("~/*.txt"), std::vector<std::string>{root + "/d/x.txt"});
}

}  // namespace
