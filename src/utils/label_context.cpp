#include <vorxlabelmgr/label_context.h>

#include <cstring>

#include <vorxlabelmgr/logger.h>

#include "utils/label_context_internal.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

constexpr size_t kIdChars = 50;
constexpr size_t kValueChars = 8;
constexpr size_t kLabelChars = 3 * kIdChars + 2 * kValueChars + 4;
static_assert(kLabelChars == 170, "the label text is 170 characters");

char* writeId(char* out, const vorx_id_t& id)
{
    writeHex16(out, id.part0);
    out[16] = '-';
    writeHex16(out + 17, id.part1);
    out[33] = '-';
    writeHex16(out + 34, id.part2);
    return out + kIdChars;
}

char* writeValue(char* out, uint32_t value)
{
    for (int i = 7; i >= 0; --i) {
        out[i] = kHexDigits[value & 0xf];
        value >>= 4;
    }
    return out + kValueChars;
}

// The C library's isspace() in the "C" locale, which strtoull skips.
bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

enum class Conversion { ok, noToken, noDigit, outOfRange };

// strtoull(token, nullptr, 16) confined to the token: the token never holds
// '-', so the sign strtoull would accept cannot occur, and the conversion
// cannot run past the token into the next one.
Conversion readToken(LabelField& field, uint64_t& out)
{
    if (field.next >= field.end)
        return Conversion::noToken;
    const char* p = field.next;
    const char* tokenEnd = static_cast<const char*>(memchr(p, '-', static_cast<size_t>(field.end - p)));
    if (tokenEnd != nullptr) {
        field.next = tokenEnd + 1;
    } else {
        tokenEnd = field.end;
        field.next = field.end;
    }

    while (p < tokenEnd && isBlank(*p))
        ++p;
    if (p < tokenEnd && *p == '+')
        ++p;
    // "0x" counts as a prefix only before a digit; otherwise its '0' is the number.
    if (tokenEnd - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexValue(p[2]) >= 0)
        p += 2;
    if (p >= tokenEnd || hexValue(*p) < 0)
        return Conversion::noDigit;

    while (p < tokenEnd && *p == '0')
        ++p;
    uint64_t value = 0;
    int significant = 0;
    for (int digit; p < tokenEnd && (digit = hexValue(*p)) >= 0; ++p) {
        if (++significant > 16)
            return Conversion::outOfRange;
        value = (value << 4) | static_cast<uint64_t>(digit);
    }
    out = value;
    return Conversion::ok;
}

}  // namespace

void writeHex16(char* out, uint64_t value)
{
    for (int i = 15; i >= 0; --i) {
        out[i] = kHexDigits[value & 0xf];
        value >>= 4;
    }
}

std::string toHex16(uint64_t value)
{
    char digits[16];
    writeHex16(digits, value);
    return std::string(digits, sizeof digits);
}

bool compareId(const vorx_id_t& a, const vorx_id_t& b)
{
    return a.part0 == b.part0 && a.part1 == b.part1 && a.part2 == b.part2;
}

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

bool readUint64(LabelField& field, uint64_t& out)
{
    switch (readToken(field, out)) {
    case Conversion::ok:
        return true;
    case Conversion::noToken:
        Logger::getInstance()->error("readUint64 String format error.");
        return false;
    case Conversion::noDigit:
        Logger::getInstance()->error("readUint64 Invalid argument: %s.", "stoull");
        return false;
    case Conversion::outOfRange:
        Logger::getInstance()->error("readUint64 Out of Range error: %s.", "stoull");
        return false;
    }
    Logger::getInstance()->error("readUint64 error");
    return false;
}

bool readUint32(LabelField& field, uint32_t& out)
{
    uint64_t value = 0;
    switch (readToken(field, value)) {
    case Conversion::ok:
        out = static_cast<uint32_t>(value);
        return true;
    case Conversion::noToken:
        Logger::getInstance()->error("readUint32 String format error.");
        return false;
    case Conversion::noDigit:
        Logger::getInstance()->error("readUint32 Invalid argument: %s.", "stoul");
        return false;
    case Conversion::outOfRange:
        Logger::getInstance()->error("readUint32 Out of Range error: %s.", "stoul");
        return false;
    }
    Logger::getInstance()->error("readUint32 error");
    return false;
}

namespace {

// Field `index` (0 to 4) of text; a field the text lacks is empty.
class FieldSplitter {
public:
    explicit FieldSplitter(const std::string& text) : next_(text.data()), end_(text.data() + text.size()) {}

    LabelField nextField()
    {
        const char* start = next_;
        if (start >= end_)
            return LabelField{end_, end_};
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

int stringToContext(const std::string& text, context_t& ctx)
{
    FieldSplitter fields(text);
    if (!readId(fields.nextField(), ctx.sid))
        return -1;
    if (!readValue(fields.nextField(), ctx.value_a))
        return -1;
    if (!readId(fields.nextField(), ctx.mid_id))
        return -1;
    if (!readValue(fields.nextField(), ctx.value_b))
        return -1;
    if (!readId(fields.nextField(), ctx.creator_oid))
        return -1;
    return 0;
}
