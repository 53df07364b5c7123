#ifndef VORX_UTILS_WILDCARD_MATCH_H
#define VORX_UTILS_WILDCARD_MATCH_H

#include <cstddef>
#include <string>

namespace vorx {
namespace utils {

// The characters that mean something in an ECMAScript expression or in one
// of its sets. wildcardsToRegex quotes exactly these, so in what it writes a
// backslash is always followed by one of them.
bool isRegexSpecial(char c);

// Whole-text match of an expression that wildcardsToRegex produced, with the
// answer std::regex_match gives under ECMAScript | icase and the
// std::regex_error that compiling it as std::regex raises. Unlike libstdc++'s
// engine it does not recurse per character of the text or the expression, so
// texts and patterns of any length are safe. Expressions up to
// wholeCompileLimit bytes are also compiled whole by std::regex first. The
// text never goes to std::regex: only single bytes do, to learn which ones a
// set matches. An expression that wildcardsToRegex cannot write (a
// quantifier other than ".*", an anchor, a backslash before an ordinary
// character, "(?") is refused with std::invalid_argument.
constexpr size_t kWholeCompileLimit = 1024;
bool matchTranslatedRegex(const std::string& expression, const std::string& text,
                          size_t wholeCompileLimit = kWholeCompileLimit);

}  // namespace utils
}  // namespace vorx

#endif
