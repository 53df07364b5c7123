#include "wire_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace standin {

std::string quote(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

namespace {

std::string printOne(DBusMessageIter* it);

std::string printLevel(DBusMessageIter* it, const char* sep)
{
    std::string out;
    bool first = true;
    while (dbus_message_iter_get_arg_type(it) != DBUS_TYPE_INVALID) {
        if (!first) out += sep;
        first = false;
        out += printOne(it);
        dbus_message_iter_next(it);
    }
    return out;
}

std::string printOne(DBusMessageIter* it)
{
    int type = dbus_message_iter_get_arg_type(it);
    DBusBasicValue v;
    char buf[64];
    switch (type) {
    case DBUS_TYPE_BYTE:
        dbus_message_iter_get_basic(it, &v);
        return std::to_string(v.byt);
    case DBUS_TYPE_BOOLEAN:
        dbus_message_iter_get_basic(it, &v);
        return v.bool_val ? "true" : "false";
    case DBUS_TYPE_INT16:
        dbus_message_iter_get_basic(it, &v);
        return std::to_string(v.i16);
    case DBUS_TYPE_UINT16:
        dbus_message_iter_get_basic(it, &v);
        return std::to_string(v.u16);
    case DBUS_TYPE_INT32:
        dbus_message_iter_get_basic(it, &v);
        return std::to_string(v.i32);
    case DBUS_TYPE_UINT32:
        dbus_message_iter_get_basic(it, &v);
        return std::to_string(v.u32);
    case DBUS_TYPE_INT64:
        dbus_message_iter_get_basic(it, &v);
        return std::to_string(static_cast<long long>(v.i64));
    case DBUS_TYPE_UINT64:
        dbus_message_iter_get_basic(it, &v);
        return std::to_string(static_cast<unsigned long long>(v.u64));
    case DBUS_TYPE_DOUBLE:
        dbus_message_iter_get_basic(it, &v);
        std::snprintf(buf, sizeof buf, "%.17g", v.dbl);
        return buf;
    case DBUS_TYPE_STRING:
    case DBUS_TYPE_OBJECT_PATH:
    case DBUS_TYPE_SIGNATURE:
        dbus_message_iter_get_basic(it, &v);
        return quote(v.str);
    case DBUS_TYPE_UNIX_FD:
        return "fd";
    case DBUS_TYPE_ARRAY: {
        DBusMessageIter sub;
        bool dict = dbus_message_iter_get_element_type(it) == DBUS_TYPE_DICT_ENTRY;
        dbus_message_iter_recurse(it, &sub);
        if (!dict) return "[" + printLevel(&sub, ", ") + "]";
        std::string out = "{";
        bool first = true;
        while (dbus_message_iter_get_arg_type(&sub) == DBUS_TYPE_DICT_ENTRY) {
            DBusMessageIter entry;
            dbus_message_iter_recurse(&sub, &entry);
            if (!first) out += ", ";
            first = false;
            out += printOne(&entry);
            out += ": ";
            dbus_message_iter_next(&entry);
            out += printOne(&entry);
            dbus_message_iter_next(&sub);
        }
        return out + "}";
    }
    case DBUS_TYPE_STRUCT: {
        DBusMessageIter sub;
        dbus_message_iter_recurse(it, &sub);
        return "(" + printLevel(&sub, ", ") + ")";
    }
    case DBUS_TYPE_VARIANT: {
        DBusMessageIter sub;
        dbus_message_iter_recurse(it, &sub);
        char* sig = dbus_message_iter_get_signature(&sub);
        std::string out = std::string("<") + (sig ? sig : "") + " " + printOne(&sub) + ">";
        dbus_free(sig);
        return out;
    }
    default:
        return "?";
    }
}

// Reader of the text form against a signature; throws std::runtime_error.
class Parser {
public:
    explicit Parser(const std::string& text) : s_(text) {}

    void value(DBusSignatureIter* sig, DBusMessageIter* out)
    {
        skip();
        int type = dbus_signature_iter_get_current_type(sig);
        switch (type) {
        case DBUS_TYPE_BYTE: {
            unsigned char b = static_cast<unsigned char>(unsignedNumber());
            append(out, type, &b);
            break;
        }
        case DBUS_TYPE_BOOLEAN: {
            dbus_bool_t b;
            if (word("true"))
                b = TRUE;
            else if (word("false"))
                b = FALSE;
            else
                fail("boolean expected");
            append(out, type, &b);
            break;
        }
        case DBUS_TYPE_INT16: {
            dbus_int16_t x = static_cast<dbus_int16_t>(signedNumber());
            append(out, type, &x);
            break;
        }
        case DBUS_TYPE_UINT16: {
            dbus_uint16_t x = static_cast<dbus_uint16_t>(unsignedNumber());
            append(out, type, &x);
            break;
        }
        case DBUS_TYPE_INT32: {
            dbus_int32_t x = static_cast<dbus_int32_t>(signedNumber());
            append(out, type, &x);
            break;
        }
        case DBUS_TYPE_UINT32: {
            dbus_uint32_t x = static_cast<dbus_uint32_t>(unsignedNumber());
            append(out, type, &x);
            break;
        }
        case DBUS_TYPE_INT64: {
            dbus_int64_t x = signedNumber();
            append(out, type, &x);
            break;
        }
        case DBUS_TYPE_UINT64: {
            dbus_uint64_t x = unsignedNumber();
            append(out, type, &x);
            break;
        }
        case DBUS_TYPE_DOUBLE: {
            const char* start = s_.c_str() + pos_;
            char* end = nullptr;
            double d = std::strtod(start, &end);
            if (end == start) fail("number expected");
            pos_ += static_cast<size_t>(end - start);
            append(out, type, &d);
            break;
        }
        case DBUS_TYPE_STRING:
        case DBUS_TYPE_OBJECT_PATH:
        case DBUS_TYPE_SIGNATURE: {
            std::string text = string();
            if (type == DBUS_TYPE_STRING && !dbus_validate_utf8(text.c_str(), nullptr))
                fail("a D-Bus string must be UTF-8");
            if (type == DBUS_TYPE_OBJECT_PATH && !dbus_validate_path(text.c_str(), nullptr)) fail("bad object path");
            if (type == DBUS_TYPE_SIGNATURE && !dbus_signature_validate(text.c_str(), nullptr)) fail("bad signature");
            const char* p = text.c_str();
            append(out, type, &p);
            break;
        }
        case DBUS_TYPE_ARRAY: {
            DBusSignatureIter elem;
            dbus_signature_iter_recurse(sig, &elem);
            char* esig = dbus_signature_iter_get_signature(&elem);
            if (!esig) fail("out of memory");
            DBusMessageIter sub;
            bool ok = dbus_message_iter_open_container(out, DBUS_TYPE_ARRAY, esig, &sub);
            dbus_free(esig);
            if (!ok) fail("out of memory");
            if (dbus_signature_iter_get_current_type(&elem) == DBUS_TYPE_DICT_ENTRY) {
                DBusSignatureIter kv;
                dbus_signature_iter_recurse(&elem, &kv);
                expect('{');
                while (!peek('}')) {
                    DBusMessageIter entry;
                    if (!dbus_message_iter_open_container(&sub, DBUS_TYPE_DICT_ENTRY, nullptr, &entry))
                        fail("out of memory");
                    DBusSignatureIter k = kv;
                    value(&k, &entry);
                    expect(':');
                    DBusSignatureIter v = kv;
                    dbus_signature_iter_next(&v);
                    value(&v, &entry);
                    dbus_message_iter_close_container(&sub, &entry);
                    separator('}');
                }
                expect('}');
            } else {
                expect('[');
                while (!peek(']')) {
                    DBusSignatureIter e = elem;
                    value(&e, &sub);
                    separator(']');
                }
                expect(']');
            }
            dbus_message_iter_close_container(out, &sub);
            break;
        }
        case DBUS_TYPE_STRUCT: {
            DBusSignatureIter field;
            dbus_signature_iter_recurse(sig, &field);
            DBusMessageIter sub;
            if (!dbus_message_iter_open_container(out, DBUS_TYPE_STRUCT, nullptr, &sub)) fail("out of memory");
            expect('(');
            do {
                value(&field, &sub);
                separator(')');
            } while (dbus_signature_iter_next(&field));
            expect(')');
            dbus_message_iter_close_container(out, &sub);
            break;
        }
        case DBUS_TYPE_VARIANT: {
            expect('<');
            skip();
            size_t end = s_.find(' ', pos_);
            if (end == std::string::npos) fail("variant signature expected");
            std::string vsig = s_.substr(pos_, end - pos_);
            pos_ = end;
            if (!dbus_signature_validate_single(vsig.c_str(), nullptr)) fail("bad variant signature");
            DBusMessageIter sub;
            if (!dbus_message_iter_open_container(out, DBUS_TYPE_VARIANT, vsig.c_str(), &sub)) fail("out of memory");
            DBusSignatureIter vs;
            dbus_signature_iter_init(&vs, vsig.c_str());
            value(&vs, &sub);
            expect('>');
            dbus_message_iter_close_container(out, &sub);
            break;
        }
        default:
            fail("type not supported");
        }
    }

    void separator(char close)
    {
        skip();
        if (peek(close)) return;
        expect(',');
    }

    void finish()
    {
        skip();
        if (pos_ != s_.size()) fail("text after the last value");
    }

    void topSeparator()
    {
        skip();
        if (pos_ < s_.size() && s_[pos_] == ',') ++pos_;
    }

    [[noreturn]] void fail(const std::string& why)
    {
        throw std::runtime_error(why + " at offset " + std::to_string(pos_));
    }

private:
    void skip()
    {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }
    bool peek(char c)
    {
        skip();
        return pos_ < s_.size() && s_[pos_] == c;
    }
    void expect(char c)
    {
        if (!peek(c)) fail(std::string("'") + c + "' expected");
        ++pos_;
    }
    bool word(const char* w)
    {
        size_t n = std::strlen(w);
        if (s_.compare(pos_, n, w) != 0) return false;
        pos_ += n;
        return true;
    }
    long long signedNumber()
    {
        const char* start = s_.c_str() + pos_;
        char* end = nullptr;
        errno = 0;
        long long x = std::strtoll(start, &end, 0);
        if (end == start || errno == ERANGE) fail("integer expected");
        pos_ += static_cast<size_t>(end - start);
        return x;
    }
    unsigned long long unsignedNumber()
    {
        const char* start = s_.c_str() + pos_;
        char* end = nullptr;
        errno = 0;
        unsigned long long x = std::strtoull(start, &end, 0);
        if (end == start || errno == ERANGE || *start == '-') fail("unsigned integer expected");
        pos_ += static_cast<size_t>(end - start);
        return x;
    }
    std::string string()
    {
        expect('"');
        std::string out;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            char c = s_[pos_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) fail("unfinished escape");
            char e = s_[pos_++];
            if (e == 'n')
                out += '\n';
            else if (e == 't')
                out += '\t';
            else if (e == 'x') {
                if (pos_ + 2 > s_.size()) fail("unfinished escape");
                out += static_cast<char>(std::strtoul(s_.substr(pos_, 2).c_str(), nullptr, 16));
                pos_ += 2;
            } else
                out += e;
        }
        expect('"');
        return out;
    }
    void append(DBusMessageIter* out, int type, const void* v)
    {
        if (!dbus_message_iter_append_basic(out, type, v)) fail("out of memory");
    }

    const std::string& s_;
    size_t pos_ = 0;
};

}  // namespace

std::string printArgs(DBusMessageIter* iter)
{
    return printLevel(iter, ", ");
}

bool appendArgs(DBusMessage* msg, const std::string& sig, const std::string& text, std::string* why)
{
    if (!dbus_signature_validate(sig.c_str(), nullptr)) {
        *why = "bad signature \"" + sig + "\"";
        return false;
    }
    try {
        Parser p(text);
        DBusMessageIter out;
        dbus_message_iter_init_append(msg, &out);
        if (!sig.empty()) {
            DBusSignatureIter si;
            dbus_signature_iter_init(&si, sig.c_str());
            do {
                p.value(&si, &out);
                p.topSeparator();
            } while (dbus_signature_iter_next(&si));
        }
        p.finish();
    } catch (const std::exception& e) {
        *why = e.what();
        return false;
    }
    return true;
}

}  // namespace standin
