#include <dlfcn.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <vorxlabelmgr/sm3.h>

#include "log_capture.h"

namespace {

bool hideSm3 = false;

// Before libcrypto reads its configuration: only the base provider.
const int configured = setenv("OPENSSL_CONF", VORX_BASE_ONLY_CNF, 1);

}  // namespace

// The library's objects are linked statically into this program, so this
// definition is the one they call.
extern "C" const EVP_MD* EVP_get_digestbyname(const char* name)
{
    if (hideSm3) return nullptr;
    using Lookup = const EVP_MD* (*)(const char*);
    static Lookup real = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "EVP_get_digestbyname"));
    return real(name);
}

namespace {

TEST(SM3Failure, MissingDigestLogsOnceAndNumbersTwice)
{
    VORX_REQUIRE_LOG_CAPTURE();
    hideSm3 = true;
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    EXPECT_EQ(getSM3HashValue("abc"), "");
    EXPECT_EQ(getSM3HashLast32Bits("abc"), 0u);
    EXPECT_EQ(getSM3HashLast64Bits("abc"), 0u);
    EXPECT_EQ(log.take(), (std::vector<std::string>{
                              "[ERROR] GetSM3HashValue Error: Unsupported hash function SM3",
                              "[ERROR] GetSM3HashValue Error: Unsupported hash function SM3",
                              "[ERROR] GetSM3HashLast32Bits Error: Hash string is too short",
                              "[ERROR] GetSM3HashValue Error: Unsupported hash function SM3",
                              "[ERROR] get sm3 value last 64bits error: Hash string is too short",
                          }));
    hideSm3 = false;
}

TEST(SM3Failure, FailingDigestStepGivesEmptyTextAndZero)
{
    VORX_REQUIRE_LOG_CAPTURE();
    hideSm3 = false;
    ASSERT_EQ(configured, 0);
    ASSERT_NE(EVP_get_digestbyname("SM3"), nullptr);  // the name is known, the digest cannot be made
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    EXPECT_EQ(getSM3HashValue("abc"), "");
    EXPECT_EQ(getSM3HashLast32Bits("abc"), 0u);
    EXPECT_EQ(getSM3HashLast64Bits("abc"), 0u);
    const std::vector<std::string> lines = log.take();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "[ERROR] GetSM3HashValue Error: digest initialisation failed");
    EXPECT_EQ(lines[2], "[ERROR] GetSM3HashLast32Bits Error: Hash string is too short");
    EXPECT_EQ(lines[4], "[ERROR] get sm3 value last 64bits error: Hash string is too short");
}

}  // namespace
