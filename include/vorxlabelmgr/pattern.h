#ifndef VORXLABELMGR_PATTERN_H
#define VORXLABELMGR_PATTERN_H

#ifndef __cplusplus
#error "<vorxlabelmgr/pattern.h> declares C++ functions and types: include it from C++"
#endif

/*
 * Shell-style wildcard patterns: backslash escapes, translation into an
 * ECMAScript regular expression, whole-text matching and glob expansion.
 */

#include <string>
#include <vector>

#include <vorxlabelmgr/export.h>

/* 1 if the text holds a backslash, else 0. */
VORX_EXPORT int containsEscapeChars(const std::string& text);

/* The text with every backslash left out (backslashes are not paired). */
VORX_EXPORT std::string removeEscapeChars(const std::string& text);

/* 1 if an unescaped "*", "?", "[" or "]" occurs, else 0. */
VORX_EXPORT int containsWildcard(const std::string& pattern);

/* The pattern as ECMAScript expression text: "*" ".*", "?" ".", "[!" "[^",
 * "{a,b}" "(a|b)", metacharacters quoted. */
VORX_EXPORT std::string wildcardsToRegex(const std::string& pattern);

/* True if the whole text matches the translated pattern (ECMAScript, case
 * ignored). Throws std::regex_error when the translation does not compile. */
VORX_EXPORT bool matchesPattern(const std::string& pattern, const std::string& text);

/* The paths glob(3) finds for the pattern (GLOB_TILDE only), sorted; empty on
 * any failure, which is logged as an error. As with glob(3), a leading "~"
 * stands for the caller's HOME ("~name" for that user's home directory). In
 * a set-id program HOME is the invoking user's: such a program cleans its
 * environment before it calls this. */
VORX_EXPORT std::vector<std::string> searchFilesByPattern(const std::string& pattern);

#endif
