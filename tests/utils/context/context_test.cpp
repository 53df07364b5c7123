#include <vorxlabelmgr/label_context.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "log_capture.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const std::string kZeroId = "0000000000000000-0000000000000000-0000000000000000";

context_t exampleContext()
{
    return context_t{{1, 2, 3}, {0, 0, 0}, {0xa, 0xb, 0xc}, 0x10, 0xffffffff};
}

const char kExampleText[] =
    "0000000000000001-0000000000000002-0000000000000003:00000010:"
    "0000000000000000-0000000000000000-0000000000000000:ffffffff:"
    "000000000000000a-000000000000000b-000000000000000c";

// Every part distinct and recognisable, so a test sees which ones a failed
// parse overwrote.
context_t sentinel()
{
    return context_t{{0x5101, 0x5102, 0x5103}, {0x5201, 0x5202, 0x5203}, {0x5301, 0x5302, 0x5303}, 0x5401, 0x5501};
}

std::vector<uint64_t> fields(const context_t& c)
{
    return {c.sid.part0,    c.sid.part1, c.sid.part2,         c.value_a,           c.mid_id.part0,     c.mid_id.part1,
            c.mid_id.part2, c.value_b,   c.creator_oid.part0, c.creator_oid.part1, c.creator_oid.part2};
}

TEST(ContextToString, WritesTheFiveFieldsInTextOrder)
{
    EXPECT_EQ(contextToString(context_t{}), kZeroId + ":00000000:" + kZeroId + ":00000000:" + kZeroId);

    context_t ones;
    memset(&ones, 0xff, sizeof ones);
    const std::string f16(16, 'f');
    const std::string onesId = f16 + "-" + f16 + "-" + f16;
    EXPECT_EQ(contextToString(ones), onesId + ":ffffffff:" + onesId + ":ffffffff:" + onesId);

    EXPECT_EQ(contextToString(exampleContext()), kExampleText);
}

TEST(CompareContext, EveryNumberCounts)
{
    EXPECT_TRUE(compareContext(sentinel(), sentinel()));
    for (size_t i = 0; i < 11; ++i) {
        context_t other = sentinel();
        uint64_t* ids[] = {&other.sid.part0,         &other.sid.part1,         &other.sid.part2,
                           &other.mid_id.part0,      &other.mid_id.part1,      &other.mid_id.part2,
                           &other.creator_oid.part0, &other.creator_oid.part1, &other.creator_oid.part2};
        if (i < 9)
            *ids[i] ^= 1;
        else if (i == 9)
            other.value_a ^= 1;
        else
            other.value_b ^= 1;
        EXPECT_FALSE(compareContext(sentinel(), other)) << "number " << i;
        EXPECT_FALSE(compareContext(other, sentinel())) << "number " << i;
    }
}

// The parser logs its failures, so its tests run with a private log.
using StringToContext = vorxtest::CapturedLogTest;

TEST_F(StringToContext, ReadsBackWhatContextToStringWrote)
{
    context_t ones;
    memset(&ones, 0xff, sizeof ones);
    for (const context_t& original : {context_t{}, ones, exampleContext(), sentinel()}) {
        context_t parsed = sentinel();
        parsed.value_b = 0;
        ASSERT_EQ(stringToContext(contextToString(original), parsed), 0);
        EXPECT_TRUE(compareContext(parsed, original)) << contextToString(parsed);
    }
    EXPECT_THAT(log.take(), IsEmpty());
}

struct Accepted {
    const char* what;
    std::string text;
    context_t expected;
};

TEST_F(StringToContext, AcceptsWhatStrtoullAccepts)
{
    const context_t example = exampleContext();
    context_t low32 = example;
    low32.value_a = 0x23456789;
    context_t zeroSid = example;
    zeroSid.sid = {0, 0, 3};
    const std::string mid = ":" + kZeroId + ":ffffffff:";
    const Accepted cases[] = {
        {"upper case",
         "0000000000000001-0000000000000002-0000000000000003:00000010:" + kZeroId +
             ":FFFFFFFF:000000000000000A-000000000000000B-000000000000000C",
         example},
        {"short parts, prefixes, blanks and plus", "1-0x2- \t+3:0X10:0-0-0:ffffffff:\na-+0xb-  c", example},
        {"newline after the text", std::string(kExampleText) + "\n", example},
        {"a sixth field", std::string(kExampleText) + ":junk:more", example},
        {"digits followed by other characters", "1zz-2 x-3g:10h" + mid + "a-b-c\n\n", example},
        {"a fourth id part", "1-2-3-4-zz:10" + mid + "a-b-c", example},
        {"a value field holding a '-'", "1-2-3:10-zz" + mid + "a-b-c", example},
        {"nine value digits keep the last eight", "1-2-3:123456789" + mid + "a-b-c", low32},
        {"leading zeros are not significant", "00000000000000001-000000000000000000002-3:10" + mid + "a-b-c", example},
        {"\"0x\" before no digit is the number 0", "0x-0xg-3:10" + mid + "a-b-c", zeroSid},
    };
    for (const Accepted& c : cases) {
        context_t parsed = sentinel();
        EXPECT_EQ(stringToContext(c.text, parsed), 0) << c.what;
        EXPECT_EQ(fields(parsed), fields(c.expected)) << c.what;
    }
    EXPECT_THAT(log.take(), IsEmpty());
}

struct Refused {
    const char* what;
    std::string text;
    const char* line;
    size_t numbersWritten;  // in text order: sid 0-2, value_a, mid_id 0-2, value_b, creator_oid 0-2
};

TEST_F(StringToContext, StopsAtTheFirstBadPartWithOneLineAndKeepsWhatItRead)
{
    const std::string sid = "1-2-3";
    const std::string upToMid = sid + ":10:4-5-6";
    const std::string upToCreator = upToMid + ":20:";
    const Refused cases[] = {
        {"empty text", "", "[ERROR] readUint64 String format error.", 0},
        {"field 0 only", sid, "[ERROR] readUint32 String format error.", 3},
        {"field 0 with two parts", "1-2:10", "[ERROR] readUint64 String format error.", 2},
        {"field 0 ending in '-'", "1-2-:10", "[ERROR] readUint64 String format error.", 2},
        {"two adjacent '-'", "1--3:10", "[ERROR] readUint64 Invalid argument: stoull.", 1},
        {"a blank part before a '-' is no sign", "1- -5:10", "[ERROR] readUint64 Invalid argument: stoull.", 1},
        {"a part of letters", "zz-2-3:10", "[ERROR] readUint64 Invalid argument: stoull.", 0},
        {"a lone plus", "+-2-3:10", "[ERROR] readUint64 Invalid argument: stoull.", 0},
        {"17 significant digits", "1-2-10000000000000000:10", "[ERROR] readUint64 Out of Range error: stoull.", 2},
        {"empty value_a", sid + "::4-5-6", "[ERROR] readUint32 String format error.", 3},
        {"value_a starting with '-'", sid + ":-5:4-5-6", "[ERROR] readUint32 Invalid argument: stoul.", 3},
        {"value_a of letters", sid + ":zz:4-5-6", "[ERROR] readUint32 Invalid argument: stoul.", 3},
        {"value_a over 64 bits", sid + ":10000000000000000:4-5-6", "[ERROR] readUint32 Out of Range error: stoul.", 3},
        {"mid_id missing", sid + ":10", "[ERROR] readUint64 String format error.", 4},
        {"value_b missing", upToMid, "[ERROR] readUint32 String format error.", 7},
        {"value_b blank", upToMid + ": :a-b-c", "[ERROR] readUint32 Invalid argument: stoul.", 7},
        {"creator_oid missing", upToMid + ":20", "[ERROR] readUint64 String format error.", 8},
        {"creator_oid with two parts", upToCreator + "a-b\n", "[ERROR] readUint64 String format error.", 10},
        {"creator_oid over 64 bits", upToCreator + "a-b-1ffffffffffffffff",
         "[ERROR] readUint64 Out of Range error: stoull.", 10},
    };
    const std::vector<uint64_t> fullyRead = {1, 2, 3, 0x10, 4, 5, 6, 0x20, 0xa, 0xb, 0xc};
    for (const Refused& c : cases) {
        context_t parsed = sentinel();
        EXPECT_EQ(stringToContext(c.text, parsed), -1) << c.what;
        EXPECT_THAT(log.take(), ElementsAre(c.line)) << c.what;
        std::vector<uint64_t> expected = fields(sentinel());
        std::copy(fullyRead.begin(), fullyRead.begin() + c.numbersWritten, expected.begin());
        EXPECT_EQ(fields(parsed), expected) << c.what;
    }
}

// The parts follow strtoull(token, nullptr, 16) exactly: generated tokens
// from an alphabet of digits, prefixes, signs, blanks and stray letters.
TEST_F(StringToContext, PartsConvertLikeStrtoull)
{
    const char anything[] = "0fA9+ \txXg";
    const char digits[] = "00fFaA9";
    std::mt19937 random(20261210);
    int accepted = 0, noDigit = 0, outOfRange = 0;
    auto append = [&random](std::string& token, const char* set, size_t setSize, size_t most) {
        for (size_t n = random() % (most + 1); n > 0; --n) token += set[random() % setSize];
    };
    for (int round = 0; round < 3000; ++round) {
        std::string token;
        append(token, anything, sizeof anything - 1, 3);
        append(token, digits, sizeof digits - 1, 20);
        append(token, anything, sizeof anything - 1, 3);

        errno = 0;
        char* end = nullptr;
        const unsigned long long value = strtoull(token.c_str(), &end, 16);
        const char* line = nullptr;
        // An empty token is one before a '-' here, not the end of the field.
        if (end == token.c_str()) {
            line = "[ERROR] readUint64 Invalid argument: stoull.";
            ++noDigit;
        } else if (errno == ERANGE) {
            line = "[ERROR] readUint64 Out of Range error: stoull.";
            ++outOfRange;
        } else {
            ++accepted;
        }

        context_t parsed = sentinel();
        const int rc = stringToContext(token + "-0-0:0:0-0-0:0:0-0-0", parsed);
        if (line == nullptr) {
            EXPECT_EQ(rc, 0) << '"' << token << '"';
            EXPECT_EQ(parsed.sid.part0, value) << '"' << token << '"';
            EXPECT_THAT(log.take(), IsEmpty()) << '"' << token << '"';
        } else {
            EXPECT_EQ(rc, -1) << '"' << token << '"';
            EXPECT_EQ(parsed.sid.part0, sentinel().sid.part0) << '"' << token << '"';
            EXPECT_THAT(log.take(), ElementsAre(line)) << '"' << token << '"';
        }
    }
    EXPECT_GT(accepted, 100);
    EXPECT_GT(noDigit, 100);
    EXPECT_GT(outOfRange, 100);
}

}  // namespace
