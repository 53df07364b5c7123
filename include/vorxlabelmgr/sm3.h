#ifndef VORXLABELMGR_SM3_H
#define VORXLABELMGR_SM3_H

#ifndef __cplusplus
#error "<vorxlabelmgr/sm3.h> declares C++ functions and types: include it from C++"
#endif

/* SM3 digests through libcrypto and the kernel-module name hash. */

#include <cstdint>
#include <string>

#include <vorxlabelmgr/export.h>

/* The SM3 digest of all bytes of data as 64 lowercase hex digits, or "" on
 * failure (logged as an error). */
VORX_EXPORT std::string getSM3HashValue(const std::string& data);

/* The digest's last 4 bytes, big-endian; 0 on failure (logged). */
VORX_EXPORT uint32_t getSM3HashLast32Bits(const std::string& data);

/* The digest's last 8 bytes, big-endian; 0 on failure (logged). */
VORX_EXPORT uint64_t getSM3HashLast64Bits(const std::string& data);

/* 32-bit FNV-1a of the first length bytes of name, each byte taken as a
 * signed char; name may be null when length is 0. */
VORX_EXPORT uint32_t getKmodNameHash(const char* name, unsigned int length);

#endif
