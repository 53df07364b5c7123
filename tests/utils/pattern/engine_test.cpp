// Before any header that brings in <functional>.
#include "utils/std_regex.h"

#include <iostream>
#include <random>
#include <stdexcept>
#include <string_view>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/pattern.h>

#include "utils/wildcard_match.h"

using namespace std::string_literals;

namespace {

constexpr auto kFlags = std::regex_constants::ECMAScript | std::regex_constants::icase;

struct Outcome {
    bool threw = false;
    std::regex_constants::error_type code{};
    bool matched = false;
    bool refused = false;  // std::invalid_argument: outside the translator's language
};

Outcome reference(const std::string& expr, const std::string& text)
{
    Outcome o;
    try {
        o.matched = std::regex_match(text, std::regex(expr, kFlags));
    } catch (const std::regex_error& e) {
        o.threw = true;
        o.code = e.code();
    }
    return o;
}

// limit 0: the matcher's own parser decides what compiles, as it does for
// long expressions.
Outcome engine(const std::string& expr, const std::string& text)
{
    Outcome o;
    try {
        o.matched = vorx::utils::matchTranslatedRegex(expr, text, 0);
    } catch (const std::regex_error& e) {
        o.threw = true;
        o.code = e.code();
    } catch (const std::invalid_argument&) {
        o.refused = true;
    }
    return o;
}

std::string printable(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c < 0x20 || c >= 0x7f)
            out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        else
            out += static_cast<char>(c);
    }
    return out;
}

struct Tally {
    int matched = 0, failed = 0, threw = 0;
} tally;

void expectSame(const std::string& pattern, const std::string& text)
{
    const std::string expr = wildcardsToRegex(pattern);
    const Outcome want = reference(expr, text);
    const Outcome got = engine(expr, text);
    // Nothing the translator writes may fall outside what the matcher covers.
    ASSERT_FALSE(got.refused) << "pattern " << printable(pattern) << " expr " << printable(expr);
    ASSERT_EQ(want.threw, got.threw) << "pattern " << printable(pattern) << " expr " << printable(expr);
    ++(want.threw ? tally.threw : want.matched ? tally.matched : tally.failed);
    if (want.threw)
        ASSERT_EQ(want.code, got.code) << "pattern " << printable(pattern) << " expr " << printable(expr);
    else
        ASSERT_EQ(want.matched, got.matched)
            << "pattern " << printable(pattern) << " expr " << printable(expr) << " text " << printable(text);
}

std::vector<std::string> eachCharacter(const std::string& chars)
{
    std::vector<std::string> pieces;
    for (char c : chars) pieces.emplace_back(1, c);
    return pieces;
}

// Patterns of fewer than patternSpan pieces, each against six texts of fewer
// than textSpan characters.
void randomRounds(const std::vector<std::string>& pieces, int patternSpan, const std::string& textChars, int textSpan,
                  int rounds, unsigned seed)
{
    std::mt19937 rng(seed);
    for (int round = 0; round < rounds; ++round) {
        std::string pattern;
        const int plen = static_cast<int>(rng() % static_cast<unsigned>(patternSpan));
        for (int i = 0; i < plen; ++i) pattern += pieces[rng() % pieces.size()];
        for (int t = 0; t < 6; ++t) {
            std::string text;
            const int tlen = static_cast<int>(rng() % static_cast<unsigned>(textSpan));
            for (int i = 0; i < tlen; ++i) text += textChars[rng() % textChars.size()];
            expectSame(pattern, text);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

// Random patterns over the characters that mean something to the translator
// or to std::regex's set syntax, against short texts; then a narrower draw
// that matches often.
TEST(MatcherAgreesWithStdRegex, RandomPatternsAndTexts)
{
    randomRounds(eachCharacter("aAbB*?[]!{},\\.-^:=\n\r(|)$+\xe9\x00"s), 9, "aAbB.*-\n\r[]{},()|^:=!\\\xe9\xc9\x00"s, 7,
                 30000, 20261210);
    if (HasFatalFailure()) return;
    randomRounds(eachCharacter("ab***??{,}\n"), 9, "aAb\n", 7, 30000, 7);
    if (HasFatalFailure()) return;
    // Whole tokens, so that sets and braces are well formed and the texts,
    // which hold newlines, often match.
    randomRounds({"a", "b", "*", "*", "?", "\n", "[!a]", "[ab]", "{a,\n}", "{*a,b}", "[[:space:]]"}, 7, "ab\n ", 8,
                 8000, 11);
    if (HasFatalFailure()) return;
    // The draw must exercise all three outcomes to mean anything.
    EXPECT_GT(tally.matched, 12000);
    EXPECT_GT(tally.failed, 20000);
    EXPECT_GT(tally.threw, 20000);
    std::cout << "matched " << tally.matched << ", failed " << tally.failed << ", threw " << tally.threw << "\n";
}

// Every pattern of up to three characters that mean something to the
// translator or to a set, so no short shape is left to chance.
TEST(MatcherAgreesWithStdRegex, EveryShortPatternOfMeaningfulCharacters)
{
    const std::string chars = "a*?[]!{},\\.-^:=(|)$+";
    const std::string texts[] = {"", "a", "A*", "(|"};
    std::vector<std::string> patterns{""};
    for (size_t from = 0, length = 1; length <= 3; ++length) {
        const size_t to = patterns.size();
        for (size_t i = from; i < to; ++i)
            for (char c : chars) patterns.push_back(patterns[i] + c);
        from = to;
    }
    for (const std::string& p : patterns) {
        for (const std::string& t : texts) {
            expectSame(p, t);
            if (HasFatalFailure()) return;
        }
    }
}

// The shapes wildcardsToRegex never writes get no answer, not a guess.
TEST(Matcher, RefusesExpressionsTheTranslatorCannotWrite)
{
    for (const char* expr : {"a+", "a?", "a{2}", "^a", "a$", "\\d", "\\b", "[\\d]", "(?:a)", "a**", "(a)*"}) {
        EXPECT_THROW(vorx::utils::matchTranslatedRegex(expr, "a", 0), std::invalid_argument) << expr;
        EXPECT_ANY_THROW(vorx::utils::matchTranslatedRegex(expr, "a")) << expr;
    }
}

// Every byte against the atoms whose meaning depends on the byte: ".",
// literals under icase, negated and POSIX-class sets.
TEST(MatcherAgreesWithStdRegex, EveryByteAgainstSingleAtoms)
{
    const char* patterns[] = {"?",       "a",       "Z",  "[!a]", "[a-z]", "[A-Z]", "[[:alpha:]]", "[[:space:]]",
                              "[[=a=]]", "[[?a?]]", "[]", "[!]",  "[\\-]", "[*]",   "\xe9",        "[!\n]"};
    for (const char* p : patterns) {
        for (int c = 0; c < 256; ++c) {
            expectSame(p, std::string(1, static_cast<char>(c)));
            if (HasFatalFailure()) return;
        }
    }
}

TEST(MatcherAgreesWithStdRegex, SelectedShapes)
{
    struct Case {
        const char* pattern;
        const char* text;
    } cases[] = {
        {"*.txt", "notes.TXT"},
        {"{a,b}.conf", "b.conf"},
        {"{a,{b,c}}", "a"},
        {"[{]a,b", "b"},
        {"[{]a,b", "(a"},
        {"{{a}[{]}", "a("},
        {"{a,b}{c,d}", "bd"},
        {"{,a}", ""},
        {"{a,}x", "x"},
        {"[[:alpha:]]*", "abc"},
        {"[[:nope:]]", "a"},
        {"[[.a.]]", "a"},
        {"[[?a?]]", "a"},
        {"[[*]", "*"},
        {"[z-a]", "a"},
        {"[a-*]", "a"},
        {"*\n*b", "a\nb"},
        {"*[!a]*\nb", "b\n\nb"},
        {"*b", "a\nb"},
        {"a*\nb", "ab\nb"},
        {"*[!a]*", "\n"},
        {"a}", "a}"},
        {"]", "]"},
        {"[", "["},
        {"\\", ""},
        {"{a\\,b}", "a,b"},
        {"[a\\-z]", "-"},
        {"a\\*b", "aab"},
        {"{a,b", "a"},
    };
    for (const Case& c : cases) {
        expectSame(c.pattern, c.text);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
