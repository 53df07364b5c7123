#ifndef VORX_UTILS_ID_TEXT_H
#define VORX_UTILS_ID_TEXT_H

#include <cstddef>
#include <string>

#include <vorxlabelmgr/label_context.h>

#include "utils/hex_text.h"

// An id as a field of the label text: the label codec writes it inside a
// whole label, the relabelling of processes as the new field 0.
namespace vorx {
namespace utils {

// Three parts of 16 lowercase hexadecimal digits joined by '-'.
constexpr size_t kIdChars = 50;

// Writes id at out, kIdChars characters and no terminator; returns the end.
inline char* writeId(char* out, const vorx_id_t& id)
{
    writeHex(out, id.part0, 16);
    out[16] = '-';
    writeHex(out + 17, id.part1, 16);
    out[33] = '-';
    writeHex(out + 34, id.part2, 16);
    return out + kIdChars;
}

inline std::string idText(const vorx_id_t& id)
{
    std::string text(kIdChars, '\0');
    writeId(&text[0], id);
    return text;
}

}  // namespace utils
}  // namespace vorx

#endif
