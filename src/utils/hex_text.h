#ifndef VORX_UTILS_HEX_TEXT_H
#define VORX_UTILS_HEX_TEXT_H

#include <cstddef>
#include <cstdint>

namespace vorx {
namespace utils {

// Writes the low 4 * digits bits of value at out as that many lowercase
// hexadecimal digits, most significant first, zero-padded; no terminator.
inline void writeHex(char* out, uint64_t value, size_t digits)
{
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = digits; i-- > 0;) {
        out[i] = kDigits[value & 0xf];
        value >>= 4;
    }
}

}  // namespace utils
}  // namespace vorx

#endif
