#ifndef VORXLABELMGR_LABEL_CONTEXT_H
#define VORXLABELMGR_LABEL_CONTEXT_H

#ifndef __cplusplus
#error "<vorxlabelmgr/label_context.h> declares C++ functions and types: include it from C++"
#endif

#include <cstdint>
#include <string>

#include <vorxlabelmgr/export.h>

/* One label id: three 64-bit parts, always handled in the order part0, part1, part2. */
struct vorx_id_t {
    uint64_t part0;
    uint64_t part1;
    uint64_t part2;
};

/*
 * A label context. Its text form has the five fields
 *   sid : value_a : mid_id : value_b : creator_oid
 * in lowercase hexadecimal: an id as three 16-digit parts joined by '-', a
 * value as 8 digits; always 170 characters, no terminator or newline.
 */
struct context_t {
    vorx_id_t sid;
    vorx_id_t mid_id;
    vorx_id_t creator_oid;
    uint32_t value_a;
    uint32_t value_b;
};

/* True when all three ids and both values of a and b are equal. */
VORX_EXPORT bool compareContext(const context_t& a, const context_t& b);

/* The 170-character label text of ctx. Never fails. */
VORX_EXPORT std::string contextToString(const context_t& ctx);

/*
 * Parses a label text into ctx, field by field, in place. 0 when all five
 * fields were read; -1 at the first part that cannot be read, after one line
 * at Logger::error. On -1 the parts read before the failure stay written in
 * ctx and the rest keep their earlier contents (ctx is never cleared).
 */
VORX_EXPORT int stringToContext(const std::string& text, context_t& ctx);

#endif
