#include <vorxlabelmgr/label_context.h>

#include <cstdint>
#include <cstring>
#include <string>

#include <vorxlabelmgr/logger.h>

#include "utils/hex_text.h"
#include "utils/id_text.h"

using vorx::utils::kIdChars;
using vorx::utils::writeHex;
using vorx::utils::writeId;

namespace {

constexpr size_t kValueChars = 8;
constexpr size_t kLabelChars = 3 * kIdChars + 2 * kValueChars + 4;
static_assert(kLabelChars == 170, "the label text is 170 characters");

// One ':'-separated field of a label text, consumed token by token; a token
// runs to the next '-' (which is consumed) or the end of the field.
struct LabelField {
    const char* next;
    const char* end;
};

char* writeValue(char* out, uint32_t value)
{
    writeHex(out, value, kValueChars);
    return out + kValueChars;
}

// The C library's isspace() in the "C" locale, which strtoull skips.
bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

enum class Conversion { ok, noToken, noDigit, outOfRange };

// strtoull(token, nullptr, 16) confined to the token: the token never holds
// '-', so the sign strtoull would accept cannot occur, and the conversion
// cannot run past the token into the next one.
Conversion readToken(LabelField& field, uint64_t& out)
{
    if (field.next >= field.end) return Conversion::noToken;
    const char* p = field.next;
    const char* tokenEnd = static_cast<const char*>(memchr(p, '-', static_cast<size_t>(field.end - p)));
    if (tokenEnd != nullptr) {
        field.next = tokenEnd + 1;
    } else {
        tokenEnd = field.end;
        field.next = field.end;
    }

    while (p < tokenEnd && isBlank(*p)) ++p;
    if (p < tokenEnd && *p == '+') ++p;
    // "0x" counts as a prefix only before a digit; otherwise its '0' is the number.
    if (tokenEnd - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexValue(p[2]) >= 0) p += 2;
    if (p >= tokenEnd || hexValue(*p) < 0) return Conversion::noDigit;

    while (p < tokenEnd && *p == '0') ++p;
    uint64_t value = 0;
    int significant = 0;
    for (int digit; p < tokenEnd && (digit = hexValue(*p)) >= 0; ++p) {
        if (++significant > 16) return Conversion::outOfRange;
        value = (value << 4) | static_cast<uint64_t>(digit);
    }
    out = value;
    return Conversion::ok;
}

// readUint64 and readUint32 differ only in the names their lines carry.
bool readNumber(LabelField& field, uint64_t& out, const char* reader, const char* conversion)
{
    switch (readToken(field, out)) {
    case Conversion::ok:
        return true;
    case Conversion::noToken:
        Logger::getInstance()->error("%s String format error.", reader);
        return false;
    case Conversion::noDigit:
        Logger::getInstance()->error("%s Invalid argument: %s.", reader, conversion);
        return false;
    case Conversion::outOfRange:
        Logger::getInstance()->error("%s Out of Range error: %s.", reader, conversion);
        return false;
    }
    return false;  // every Conversion is handled above
}

bool compareId(const vorx_id_t& a, const vorx_id_t& b)
{
    return a.part0 == b.part0 && a.part1 == b.part1 && a.part2 == b.part2;
}

// The next token of field as a hexadecimal number (strtoull rules, base 16)
// into out. False, after one line at Logger::error, when the field has no
// token left, the token has no digit or the number exceeds 64 bits; out is
// written only on success.
bool readUint64(LabelField& field, uint64_t& out)
{
    return readNumber(field, out, "readUint64", "stoull");
}

// The same for a 32-bit value: the range test is still 64 bits wide and the
// low 32 bits are stored.
bool readUint32(LabelField& field, uint32_t& out)
{
    uint64_t value = 0;
    if (!readNumber(field, value, "readUint32", "stoul")) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

// The ':'-separated fields of text, one per call from the first; once the
// text is used up, every further field is empty.
class FieldSplitter {
public:
    explicit FieldSplitter(const std::string& text) : next_(text.data()), end_(text.data() + text.size()) {}

    LabelField nextField()
    {
        const char* start = next_;
        if (start >= end_) return LabelField{end_, end_};
        const char* colon = static_cast<const char*>(memchr(start, ':', static_cast<size_t>(end_ - start)));
        if (colon == nullptr) {
            next_ = end_;
            return LabelField{start, end_};
        }
        next_ = colon + 1;
        return LabelField{start, colon};
    }

private:
    const char* next_;
    const char* end_;
};

bool readId(LabelField field, vorx_id_t& id)
{
    return readUint64(field, id.part0) && readUint64(field, id.part1) && readUint64(field, id.part2);
}

bool readValue(LabelField field, uint32_t& value)
{
    return readUint32(field, value);
}

}  // namespace

bool compareContext(const context_t& a, const context_t& b)
{
    return compareId(a.sid, b.sid) && compareId(a.mid_id, b.mid_id) && compareId(a.creator_oid, b.creator_oid) &&
           a.value_a == b.value_a && a.value_b == b.value_b;
}

std::string contextToString(const context_t& ctx)
{
    std::string text(kLabelChars, '\0');
    char* out = &text[0];
    out = writeId(out, ctx.sid);
    *out++ = ':';
    out = writeValue(out, ctx.value_a);
    *out++ = ':';
    out = writeId(out, ctx.mid_id);
    *out++ = ':';
    out = writeValue(out, ctx.value_b);
    *out++ = ':';
    writeId(out, ctx.creator_oid);
    return text;
}

int stringToContext(const std::string& text, context_t& ctx)
{
    FieldSplitter fields(text);
    if (!readId(fields.nextField(), ctx.sid)) return -1;
    if (!readValue(fields.nextField(), ctx.value_a)) return -1;
    if (!readId(fields.nextField(), ctx.mid_id)) return -1;
    if (!readValue(fields.nextField(), ctx.value_b)) return -1;
    if (!readId(fields.nextField(), ctx.creator_oid)) return -1;
    return 0;
}
