#include <vorxlabelmgr/sm3.h>

#include <memory>
#include <sstream>

#include <openssl/evp.h>

#include <vorxlabelmgr/logger.h>

#include "utils/hex_text.h"

namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// The number in the last 2 * sizeof(T) hex digits of the digest text; the
// stream does the parsing so that a malformed text is reported rather than
// misread. Both number functions are this with their own lines.
template <typename T>
T digestTail(const std::string& data, const char* tooShortLine, const char* invalidLine)
{
    constexpr size_t digits = 2 * sizeof(T);
    const std::string hex = getSM3HashValue(data);
    if (hex.size() < digits) {
        Logger::getInstance()->error("%s", tooShortLine);
        return 0;
    }
    std::istringstream in(hex.substr(hex.size() - digits));
    T value = 0;
    in >> std::hex >> value;
    if (in.fail()) {
        Logger::getInstance()->error("%s", invalidLine);
        return 0;
    }
    return value;
}

}  // namespace

std::string getSM3HashValue(const std::string& data)
{
    const EVP_MD* md = EVP_get_digestbyname("SM3");
    if (md == nullptr) {
        Logger::getInstance()->error("GetSM3HashValue Error: Unsupported hash function SM3");
        return std::string();
    }
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx) {
        Logger::getInstance()->error("GetSM3HashValue Error: cannot create digest context");
        return std::string();
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) {
        Logger::getInstance()->error("GetSM3HashValue Error: digest initialisation failed");
        return std::string();
    }
    if (EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        Logger::getInstance()->error("GetSM3HashValue Error: digest computation failed");
        return std::string();
    }
    std::string hex(2 * static_cast<size_t>(length), '\0');
    for (unsigned int i = 0; i < length; ++i) vorx::utils::writeHex(&hex[2 * i], digest[i], 2);
    return hex;
}

uint32_t getSM3HashLast32Bits(const std::string& data)
{
    return digestTail<uint32_t>(data, "GetSM3HashLast32Bits Error: Hash string is too short",
                                "GetSM3HashLast32Bits Error: Invalid hex string for last 32 bits");
}

uint64_t getSM3HashLast64Bits(const std::string& data)
{
    return digestTail<uint64_t>(data, "get sm3 value last 64bits error: Hash string is too short",
                                "get sm3 value last 64bits error: Invalid hex string for last 64 bits");
}

uint32_t getKmodNameHash(const char* name, unsigned int length)
{
    uint32_t hash = 2166136261u;
    for (unsigned int i = 0; i < length; ++i) {
        // Bytes from 0x80 up are sign-extended: modules were hashed this way.
        const int32_t byte = static_cast<signed char>(name[i]);
        hash ^= static_cast<uint32_t>(byte);
        hash *= 16777619u;
    }
    return hash;
}
