#include <vorxlabelmgr/pattern.h>

#include <glob.h>

#include <cerrno>
#include <cstring>

#include <vorxlabelmgr/logger.h>

#include "utils/wildcard_match.h"

int containsEscapeChars(const std::string& text)
{
    return text.find('\\') != std::string::npos ? 1 : 0;
}

std::string removeEscapeChars(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\\') out += c;
    return out;
}

int containsWildcard(const std::string& pattern)
{
    bool escaped = false;
    for (char c : pattern) {
        if (escaped) {
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == '*' || c == '?' || c == '[' || c == ']') {
            return 1;
        }
    }
    return 0;
}

std::string wildcardsToRegex(const std::string& pattern)
{
    std::string out;
    out.reserve(pattern.size() * 2);
    bool inBraces = false;
    bool escaped = false;
    const size_t n = pattern.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = pattern[i];
        if (escaped) {
            escaped = false;
            if (vorx::utils::isRegexSpecial(c)) out += '\\';
            out += c;
            continue;
        }
        switch (c) {
        case '*':
            out += ".*";
            break;
        case '?':
            out += '.';
            break;
        case '.':
        case '$':
        case '^':
        case '+':
        case '|':
        case '(':
        case ')':
            out += '\\';
            out += c;
            break;
        case '[':
            out += '[';
            if (i + 1 < n && pattern[i + 1] == '!') {
                out += '^';
                ++i;
            }
            break;
        case '{':
            out += '(';
            inBraces = true;
            break;
        case '}':
            if (inBraces) {
                out += ')';
                inBraces = false;
            } else {
                out += '}';
            }
            break;
        case ',':
            out += inBraces ? '|' : ',';
            break;
        case '\\':
            escaped = true;
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

bool matchesPattern(const std::string& pattern, const std::string& text)
{
    return vorx::utils::matchTranslatedRegex(wildcardsToRegex(pattern), text);
}

std::vector<std::string> searchFilesByPattern(const std::string& pattern)
{
    std::vector<std::string> paths;
    glob_t found;
    std::memset(&found, 0, sizeof found);
    struct GlobFree {
        glob_t* g;
        ~GlobFree() { globfree(g); }
    } release{&found};
    const int rc = glob(pattern.c_str(), GLOB_TILDE, nullptr, &found);
    // The logger may be built by the line below, which can change errno.
    const int globErrno = errno;
    switch (rc) {
    case 0:
        paths.reserve(found.gl_pathc);
        for (size_t i = 0; i < found.gl_pathc; ++i) paths.emplace_back(found.gl_pathv[i]);
        break;
    case GLOB_NOSPACE:
        Logger::getInstance()->error("glob error: Ran out of memory.");
        break;
    case GLOB_ABORTED:
        Logger::getInstance()->error("glob error: Read error. %s", std::strerror(globErrno));
        break;
    case GLOB_NOMATCH:
        Logger::getInstance()->error("glob error: No matches found.");
        break;
    case GLOB_NOSYS:
        Logger::getInstance()->error("glob error: Not implemented.");
        break;
    default:
        Logger::getInstance()->error("glob error: unknown error");
        break;
    }
    return paths;
}
