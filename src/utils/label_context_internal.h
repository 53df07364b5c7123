#ifndef VORX_UTILS_LABEL_CONTEXT_INTERNAL_H
#define VORX_UTILS_LABEL_CONTEXT_INTERNAL_H

#include <cstdint>
#include <string>

#include <vorxlabelmgr/label_context.h>

// Helpers of the label text codec, shared inside the library only (hidden
// like everything that does not carry VORX_EXPORT).
namespace vorx {
namespace utils {

// One ':'-separated field of a label text, consumed token by token; a token
// runs to the next '-' (which is consumed) or the end of the field.
struct LabelField {
    const char* next;
    const char* end;
};

// True when all three parts are equal.
bool compareId(const vorx_id_t& a, const vorx_id_t& b);

// id as a field of the label text: three parts of 16 lowercase hexadecimal
// digits joined by '-', 50 characters.
std::string idText(const vorx_id_t& id);

// The next token of field as a hexadecimal number (strtoull rules, base 16)
// into out. False, after one line at Logger::error, when the field has no
// token left, the token has no digit or the number exceeds 64 bits; out is
// written only on success.
bool readUint64(LabelField& field, uint64_t& out);

// The same for a 32-bit value: the range test is still 64 bits wide and the
// low 32 bits are stored.
bool readUint32(LabelField& field, uint32_t& out);

}  // namespace utils
}  // namespace vorx

#endif
