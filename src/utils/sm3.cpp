#include <vorxlabelmgr/sm3.h>

#include <memory>
#include <sstream>

#include <openssl/evp.h>

#include <vorxlabelmgr/logger.h>

namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// Reads the last `digits` hex digits of the digest text; the stream does the
// parsing so that a malformed text is reported rather than misread.
template <typename T>
bool lastHexDigits(const std::string& hex, size_t digits, T* value)
{
    std::istringstream in(hex.substr(hex.size() - digits));
    T v = 0;
    in >> std::hex >> v;
    if (in.fail())
        return false;
    *value = v;
    return true;
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
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * static_cast<size_t>(length));
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0x0f];
    }
    return hex;
}

uint32_t getSM3HashLast32Bits(const std::string& data)
{
    const std::string hex = getSM3HashValue(data);
    if (hex.size() <= 7) {
        Logger::getInstance()->error("GetSM3HashLast32Bits Error: Hash string is too short");
        return 0;
    }
    uint32_t value = 0;
    if (!lastHexDigits(hex, 8, &value)) {
        Logger::getInstance()->error("GetSM3HashLast32Bits Error: Invalid hex string for last 32 bits");
        return 0;
    }
    return value;
}

uint64_t getSM3HashLast64Bits(const std::string& data)
{
    const std::string hex = getSM3HashValue(data);
    if (hex.size() <= 15) {
        Logger::getInstance()->error("get sm3 value last 64bits error: Hash string is too short");
        return 0;
    }
    uint64_t value = 0;
    if (!lastHexDigits(hex, 16, &value)) {
        Logger::getInstance()->error("get sm3 value last 64bits error: Invalid hex string for last 64 bits");
        return 0;
    }
    return value;
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
