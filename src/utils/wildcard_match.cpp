#include "utils/wildcard_match.h"

// Before any header that brings in <functional>.
#include "utils/std_regex.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <locale>
#include <stdexcept>
#include <unordered_map>
#include <vector>

// libstdc++'s std::regex compiles by recursive descent, one level per term,
// and its matcher recurses once per text character: tens of kilobytes of text
// or pattern exhaust the stack. The expressions wildcardsToRegex writes form
// a small language (literals, ".", ".*", sets, groups with "|"), which is
// simulated here as an NFA with an explicit state list. Sets are handed to
// std::regex one at a time (a set is parsed iteratively there) and asked
// about one byte at a time, so what a set means and which sets are errors
// stays exactly libstdc++'s.
//
// What wildcardsToRegex writes is a row of pieces: ".*", "[" or "[^", a
// backslash with one of isRegexSpecial's characters, and single characters
// that are none of backslash, "*", "+", "?", "{", "^" and "$". Read from the
// left, a backslash thus always opens such a pair and "*" always follows the
// "." of ".*", inside a set too ("[.", "[:" and "[=" run to a closing pair
// that ends on "]"); there is no bare "+", "?", "{" or "$", no "(?", and "^"
// only at the start of a set. The tokenizer covers that language (and a
// star on any atom) and refuses the rest rather than guess at it.

namespace vorx {
namespace utils {

bool isRegexSpecial(char c)
{
    switch (c) {
    case '^':
    case '$':
    case '\\':
    case '.':
    case '*':
    case '+':
    case '?':
    case '(':
    case ')':
    case '[':
    case ']':
    case '{':
    case '}':
    case '|':
    case '-':
        return true;
    default:
        return false;
    }
}

namespace {

constexpr std::regex_constants::syntax_option_type kRegexFlags =
    std::regex_constants::ECMAScript | std::regex_constants::icase;

enum class Kind : uint8_t { Literal, Dot, Set };
enum class Op : uint8_t { Char, Star, Split, Jump, Match };

struct Atom {
    Kind kind;
    unsigned char literal;  // case-folded
    int32_t set;
};

enum class Tok : uint8_t { Atom, Open, Close, Or };

struct Token {
    Tok type;
    bool star;
    Atom atom;
};

struct Inst {
    Op op;
    Atom atom;     // Char, Star
    int32_t x, y;  // Split: both targets; Jump: x
};

struct CharSet {
    std::regex re;
    signed char known[256];  // -1 not asked yet
};

// Something wildcardsToRegex cannot write.
[[noreturn]] void outsideTheLanguage()
{
    throw std::invalid_argument("not an expression wildcardsToRegex writes");
}

class Matcher {
public:
    explicit Matcher(const std::string& e) : expr(e), ctype(std::use_facet<std::ctype<char>>(locale))
    {
        for (int c = 0; c < 256; ++c) lower[c] = static_cast<unsigned char>(ctype.tolower(static_cast<char>(c)));
        const unsigned char nl = lower[static_cast<unsigned char>('\n')];
        const unsigned char cr = lower[static_cast<unsigned char>('\r')];
        // What "." matches under icase, as libstdc++'s _AnyMatcher decides.
        for (int c = 0; c < 256; ++c) {
            dot[c] = lower[c] != nl && lower[c] != cr;
            if (!dot[c]) barriers.push_back(static_cast<unsigned char>(c));
        }
    }

    bool run(const std::string& text)
    {
        tokenize();
        build();
        return simulate(text);
    }

private:
    void tokenize();
    size_t scanSet(size_t start);
    [[noreturn]] void throwSetError(size_t start, size_t end);
    int32_t addSet(size_t start, size_t end);
    void build();
    void emitAtom(const Token& t);
    bool member(const Atom& a, unsigned char c);
    bool barrierIn(const Atom& a);
    void addClosure(std::vector<int32_t>& list, int32_t pc);
    bool simulate(const std::string& text);

    const std::string& expr;
    std::locale locale;
    const std::ctype<char>& ctype;
    unsigned char lower[256];
    bool dot[256];
    std::vector<unsigned char> barriers;  // bytes "." does not match

    std::vector<Token> tokens;
    bool hasAlternation = false;
    std::vector<CharSet> sets;
    std::unordered_map<std::string, int32_t> setIndex;

    std::vector<Inst> prog;
    int32_t lastTarget = -1;

    std::vector<uint32_t> mark;
    uint32_t generation = 0;
    std::vector<int32_t> stack;
};

void Matcher::tokenize()
{
    const size_t n = expr.size();
    size_t depth = 0;
    tokens.reserve(n);
    auto literal = [this](char c) {
        tokens.push_back({Tok::Atom, false, {Kind::Literal, lower[static_cast<unsigned char>(c)], -1}});
    };
    for (size_t i = 0; i < n;) {
        const char c = expr[i];
        switch (c) {
        case '\\': {
            if (i + 1 >= n) throw std::regex_error(std::regex_constants::error_escape);
            const char e = expr[i + 1];
            if (!isRegexSpecial(e)) outsideTheLanguage();  // \d, \b, \x.. and back-references
            literal(e);
            i += 2;
            break;
        }
        case '.':
            tokens.push_back({Tok::Atom, false, {Kind::Dot, 0, -1}});
            ++i;
            break;
        case '*':
            if (tokens.empty() || tokens.back().type != Tok::Atom || tokens.back().star) outsideTheLanguage();
            tokens.back().star = true;
            ++i;
            break;
        case '+':
        case '?':
        case '{':
        case '^':
        case '$':
            outsideTheLanguage();
        case '(':
            if (i + 1 < n && expr[i + 1] == '?') outsideTheLanguage();
            tokens.push_back({Tok::Open, false, {}});
            ++depth;
            ++i;
            break;
        case ')':
            if (depth == 0) throw std::regex_error(std::regex_constants::error_paren);
            tokens.push_back({Tok::Close, false, {}});
            --depth;
            ++i;
            break;
        case '|':
            tokens.push_back({Tok::Or, false, {}});
            hasAlternation = true;
            ++i;
            break;
        case '[': {
            const size_t end = scanSet(i);
            tokens.push_back({Tok::Atom, false, {Kind::Set, 0, addSet(i, end)}});
            i = end;
            break;
        }
        default:  // "]", "}", NUL and every other byte are themselves
            literal(c);
            ++i;
            break;
        }
    }
    if (depth != 0) throw std::regex_error(std::regex_constants::error_paren);
}

// Finds the end of the set that opens at start the way libstdc++'s scanner
// does: "[:", "[." and "[=" run to their own closing pair, a backslash takes
// what follows it, and in ECMAScript the first "]" closes even "[]".
size_t Matcher::scanSet(size_t start)
{
    const size_t n = expr.size();
    size_t k = start + 1;
    if (k < n && expr[k] == '^') ++k;
    for (;;) {
        if (k >= n) throwSetError(start, n);
        const char c = expr[k++];
        if (c == ']') return k;
        if (c == '[') {
            if (k >= n) throwSetError(start, n);
            const char kind = expr[k];
            if (kind == '.' || kind == ':' || kind == '=') {
                const size_t close = expr.find(kind, k + 1);
                if (close == std::string::npos || close + 1 >= n || expr[close + 1] != ']')
                    throwSetError(start, close == std::string::npos ? n : std::min(n, close + 2));
                k = close + 2;
            }
        } else if (c == '\\') {
            if (k >= n) throwSetError(start, n);
            const char e = expr[k++];
            if (!isRegexSpecial(e)) outsideTheLanguage();
        }
    }
}

// The set is malformed: let std::regex say how, on the text up to the fault.
void Matcher::throwSetError(size_t start, size_t end)
{
    std::regex probe(expr.substr(start, end - start), kRegexFlags);
    throw std::regex_error(std::regex_constants::error_brack);
}

int32_t Matcher::addSet(size_t start, size_t end)
{
    std::string text = expr.substr(start, end - start);
    auto found = setIndex.find(text);
    if (found != setIndex.end()) return found->second;
    CharSet set{std::regex(text, kRegexFlags), {}};
    std::memset(set.known, -1, sizeof set.known);
    const int32_t index = static_cast<int32_t>(sets.size());
    sets.push_back(std::move(set));
    setIndex.emplace(std::move(text), index);
    return index;
}

bool Matcher::member(const Atom& a, unsigned char c)
{
    switch (a.kind) {
    case Kind::Literal:
        return lower[c] == a.literal;
    case Kind::Dot:
        return dot[c];
    case Kind::Set:
        break;
    }
    CharSet& set = sets[static_cast<size_t>(a.set)];
    if (set.known[c] < 0) {
        const char ch = static_cast<char>(c);
        set.known[c] = std::regex_match(&ch, &ch + 1, set.re) ? 1 : 0;
    }
    return set.known[c] == 1;
}

// Whether the atom can match a byte that ".*" cannot run over.
bool Matcher::barrierIn(const Atom& a)
{
    for (unsigned char b : barriers)
        if (member(a, b)) return true;
    return false;
}

void Matcher::emitAtom(const Token& t)
{
    const int32_t pc = static_cast<int32_t>(prog.size());
    // ".*.*" is ".*": keep one, unless a jump lands between them.
    if (t.star && t.atom.kind == Kind::Dot && pc > 0 && lastTarget != pc) {
        const Inst& prev = prog.back();
        if (prev.op == Op::Star && prev.atom.kind == Kind::Dot) return;
    }
    prog.push_back({t.star ? Op::Star : Op::Char, t.atom, 0, 0});
}

void Matcher::build()
{
    prog.reserve(tokens.size() + 2);
    if (!hasAlternation) {
        // Without "|" a group is just its contents.
        for (const Token& t : tokens)
            if (t.type == Tok::Atom) emitAtom(t);
    } else {
        struct Frame {
            int32_t split;
            size_t jumpBase;
        };
        std::vector<Frame> frames;
        std::vector<int32_t> jumps;
        auto pc = [this] { return static_cast<int32_t>(prog.size()); };
        auto emitSplit = [&] {
            const int32_t at = pc();
            prog.push_back({Op::Split, {}, at + 1, -1});
            return at;
        };
        auto open = [&] { frames.push_back({emitSplit(), jumps.size()}); };
        auto close = [&] {
            const Frame f = frames.back();
            frames.pop_back();
            prog[static_cast<size_t>(f.split)].op = Op::Jump;  // the last alternative needs no branch
            for (size_t j = f.jumpBase; j < jumps.size(); ++j) prog[static_cast<size_t>(jumps[j])].x = pc();
            jumps.resize(f.jumpBase);
            lastTarget = pc();
        };
        open();
        for (const Token& t : tokens) {
            switch (t.type) {
            case Tok::Atom:
                emitAtom(t);
                break;
            case Tok::Open:
                open();
                break;
            case Tok::Close:
                close();
                break;
            case Tok::Or: {
                jumps.push_back(pc());
                prog.push_back({Op::Jump, {}, -1, 0});
                Frame& f = frames.back();
                prog[static_cast<size_t>(f.split)].y = pc();
                f.split = emitSplit();
                break;
            }
            }
        }
        close();
    }
    prog.push_back({Op::Match, {}, 0, 0});
    tokens.clear();
    tokens.shrink_to_fit();
}

void Matcher::addClosure(std::vector<int32_t>& list, int32_t start)
{
    stack.push_back(start);
    while (!stack.empty()) {
        const int32_t pc = stack.back();
        stack.pop_back();
        if (mark[static_cast<size_t>(pc)] == generation) continue;
        mark[static_cast<size_t>(pc)] = generation;
        const Inst& in = prog[static_cast<size_t>(pc)];
        switch (in.op) {
        case Op::Char:
        case Op::Match:
            list.push_back(pc);
            break;
        case Op::Star:
            list.push_back(pc);
            stack.push_back(pc + 1);
            break;
        case Op::Split:
            stack.push_back(in.y);
            stack.push_back(in.x);
            break;
        case Op::Jump:
            stack.push_back(in.x);
            break;
        }
    }
}

bool Matcher::simulate(const std::string& text)
{
    const size_t size = prog.size();
    mark.assign(size, 0);
    auto nextGeneration = [this] {
        if (++generation == 0) {
            std::fill(mark.begin(), mark.end(), 0);
            generation = 1;
        }
    };

    // In a program without "|", a state inside ".*" at k makes every earlier
    // state p redundant when all atoms from p up to k match only bytes ".*"
    // runs over: whatever p can still match, k matches too. firstBarrier[p]
    // is the first atom at or after p that can match a barrier byte.
    std::vector<int32_t> firstBarrier;
    if (!hasAlternation) {
        firstBarrier.resize(size);
        firstBarrier[size - 1] = static_cast<int32_t>(size - 1);
        for (size_t p = size - 1; p-- > 0;) {
            const Inst& in = prog[p];
            const bool barrier = in.op == Op::Star ? in.atom.kind != Kind::Dot : barrierIn(in.atom);
            firstBarrier[p] = barrier ? static_cast<int32_t>(p) : firstBarrier[p + 1];
        }
    }

    std::vector<int32_t> current, next;
    nextGeneration();
    addClosure(current, 0);
    for (unsigned char c : text) {
        if (current.empty()) return false;
        nextGeneration();
        next.clear();
        for (int32_t pc : current) {
            const Inst& in = prog[static_cast<size_t>(pc)];
            if (in.op == Op::Match || !member(in.atom, c)) continue;
            addClosure(next, in.op == Op::Star ? pc : pc + 1);
        }
        if (!hasAlternation && next.size() > 1) {
            int32_t star = -1;
            for (int32_t pc : next) {
                const Inst& in = prog[static_cast<size_t>(pc)];
                if (pc > star && in.op == Op::Star && in.atom.kind == Kind::Dot) star = pc;
            }
            if (star >= 0) {
                size_t kept = 0;
                for (int32_t pc : next)
                    if (pc >= star || firstBarrier[static_cast<size_t>(pc)] < star) next[kept++] = pc;
                next.resize(kept);
            }
        }
        current.swap(next);
    }
    for (int32_t pc : current)
        if (prog[static_cast<size_t>(pc)].op == Op::Match) return true;
    return false;
}

}  // namespace

bool matchTranslatedRegex(const std::string& expression, const std::string& text, size_t wholeCompileLimit)
{
    // Short expressions are compiled whole as well: std::regex's recursion is
    // harmless there, and its errors are then libstdc++'s by construction.
    if (expression.size() <= wholeCompileLimit)
        std::regex whole(expression, kRegexFlags);  // throws what std::regex throws
    Matcher matcher(expression);
    return matcher.run(text);
}

}  // namespace utils
}  // namespace vorx
