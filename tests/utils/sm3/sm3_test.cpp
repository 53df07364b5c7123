#include <cstdint>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <vorxlabelmgr/sm3.h>

using namespace std::string_literals;

namespace {

TEST(SM3, KnownDigests)
{
    struct {
        std::string data, want;
    } cases[] = {
        {"abc", "66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0"},
        {"", "1ab21d8355cfa17f8e61194831e81a8f22bec8c728fefb747ed035eb5082aa2b"},
        {"abcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcd",
         "debe9ff92275b8a138604889c18e5a4d6fdb70e5387e5765293dcba39c0c5732"},
        {"a\0b"s, "35b867ed6528bb46099058baf776e4eefcf98d6daccc0f678541899df16fd639"},
        {"a", "623476ac18f65a2909e43c7fec61b49c7e764a91a18ccb82f1917a29c86c5e88"},
    };
    for (const auto& c : cases) EXPECT_EQ(getSM3HashValue(c.data), c.want) << c.data;
}

// The data is digested as it is: a mebibyte with NULs in it, against a raw
// EVP digest of the same bytes.
TEST(SM3, MebibyteWithNulsMatchesRawEvp)
{
    std::string data(1u << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 131) % 251);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    ASSERT_EQ(EVP_Digest(data.data(), data.size(), md, &len, EVP_sm3(), nullptr), 1);
    std::string want;
    for (unsigned int i = 0; i < len; ++i) {
        want += "0123456789abcdef"[md[i] >> 4];
        want += "0123456789abcdef"[md[i] & 15];
    }
    EXPECT_EQ(getSM3HashValue(data), want);
    EXPECT_NE(getSM3HashValue("a\0b"s), getSM3HashValue("a"));
}

TEST(SM3, LastBitsAreTheDigestTail)
{
    EXPECT_EQ(getSM3HashLast32Bits("abc"), 0x8f4ba8e0u);
    EXPECT_EQ(getSM3HashLast64Bits("abc"), 0x297da02b8f4ba8e0ull);
    for (const std::string& data : {""s, "a"s, "x\0y"s, std::string(1000, 'q')}) {
        const std::string hex = getSM3HashValue(data);
        ASSERT_EQ(hex.size(), 64u);
        EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
        EXPECT_EQ(getSM3HashLast32Bits(data), std::stoul(hex.substr(56), nullptr, 16));
        EXPECT_EQ(getSM3HashLast64Bits(data), std::stoull(hex.substr(48), nullptr, 16));
        EXPECT_EQ(static_cast<uint32_t>(getSM3HashLast64Bits(data)), getSM3HashLast32Bits(data));
    }
}

TEST(KmodNameHash, SignedByteFnv1a)
{
    EXPECT_EQ(getKmodNameHash("abc", 3), 0x1a47e90bu);
    EXPECT_EQ(getKmodNameHash(nullptr, 0), 0x811c9dc5u);
    EXPECT_EQ(getKmodNameHash("abc", 0), 0x811c9dc5u);
    EXPECT_EQ(getKmodNameHash("\xe9", 1), 0xebf38b44u);  // octet-wise FNV-1a would be 0x6c0b6c44
    EXPECT_EQ(getKmodNameHash("abc", 2), getKmodNameHash("ab", 2));
    EXPECT_NE(getKmodNameHash("a\0b", 3), getKmodNameHash("a", 1));  // the length bounds, not the NUL
    EXPECT_EQ(getKmodNameHash("a\0", 2), (((0x811c9dc5u ^ 'a') * 16777619u) ^ 0u) * 16777619u);
}

}  // namespace
