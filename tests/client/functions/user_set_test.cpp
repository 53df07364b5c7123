// The user-set array conversion on its own: what a failed allocation and
// over-long keys do, which the bus tests cannot provoke.
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "client/user_set.h"

using vorx::client::toUserSetArray;

namespace {

void* failingAlloc(size_t)
{
    return nullptr;
}

size_t lastAllocSize = 0;
void* recordingAlloc(size_t size)
{
    lastAllocSize = size;
    // Dirty the block: nothing may rely on the allocator clearing it.
    void* p = std::malloc(size);
    if (p != nullptr) std::memset(p, 0xA5, size);
    return p;
}

USER_SET_ITEM* const kSentinel = reinterpret_cast<USER_SET_ITEM*>(0x1234);

}  // namespace

TEST(UserSetArray, FailedAllocationGivesMinus3AndLeavesOutAlone)
{
    USER_SET_ITEM* out = kSentinel;
    std::map<std::string, uint64_t> reply{{"a", 1}, {"b", 2}};
    EXPECT_EQ(-3, toUserSetArray(reply, &out, failingAlloc));
    EXPECT_EQ(kSentinel, out);
}

TEST(UserSetArray, EmptyReplyAllocatesNothing)
{
    USER_SET_ITEM* out = kSentinel;
    lastAllocSize = 0;
    EXPECT_EQ(0, toUserSetArray(std::map<std::string, uint32_t>{}, &out, recordingAlloc));
    EXPECT_EQ(kSentinel, out);
    EXPECT_EQ(0u, lastAllocSize);
}

TEST(UserSetArray, OneExactBlockNamesBoundedAndOnlyFamilyFieldsWritten)
{
    std::map<std::string, uint32_t> reply{
        {std::string(4095, 'x'), 1}, {std::string(4096, 'y'), 2}, {"", 3}, {"z", UINT32_MAX}};
    USER_SET_ITEM* out = nullptr;
    ASSERT_EQ(4, toUserSetArray(reply, &out, recordingAlloc));
    EXPECT_EQ(4 * sizeof(USER_SET_ITEM), lastAllocSize);
    // Map order: "" < "xxx..." < "yyy..." < "z".
    EXPECT_STREQ("", out[0].name);
    EXPECT_EQ(3u, out[0].id.pkg_id);
    EXPECT_EQ(4095u, strnlen(out[1].name, sizeof out[1].name));
    EXPECT_EQ('\0', out[1].name[4095]);
    EXPECT_EQ(1u, out[1].id.pkg_id);
    EXPECT_STREQ("", out[2].name);  // too long for the record: empty, still counted
    EXPECT_EQ(2u, out[2].id.pkg_id);
    EXPECT_STREQ("z", out[3].name);
    EXPECT_EQ(0xFFFFFFFFu, out[3].id.pkg_id);  // widened, never sign-extended
    // The tid family writes pkg_id only; the rest is what malloc left.
    EXPECT_EQ(0xA5A5A5A5A5A5A5A5u, out[3].id.file_id);
    EXPECT_EQ(0xA5A5A5A5A5A5A5A5u, out[3].id.path_id);
    std::free(out);
}

TEST(UserSetArray, IdDictionaryFillsOnlyTheKeysItHolds)
{
    using Dict = std::map<std::string, uint64_t>;
    std::map<std::string, Dict> reply{
        {"/a", {{"pkg_id", 1}}},
        {"/b", {{"PKG_ID", 2}, {"pkg", 3}, {"file_id", 4}, {"path_id", 5}, {"other", 6}}},
        {"/c", {}},
    };
    USER_SET_ITEM* out = nullptr;
    ASSERT_EQ(3, toUserSetArray(reply, &out, recordingAlloc));
    const uint64_t dirty = 0xA5A5A5A5A5A5A5A5u;
    EXPECT_EQ(1u, out[0].id.pkg_id);
    EXPECT_EQ(dirty, out[0].id.file_id);
    EXPECT_EQ(dirty, out[0].id.path_id);
    EXPECT_EQ(dirty, out[1].id.pkg_id);
    EXPECT_EQ(4u, out[1].id.file_id);
    EXPECT_EQ(5u, out[1].id.path_id);
    EXPECT_EQ(dirty, out[2].id.pkg_id);
    EXPECT_EQ(dirty, out[2].id.file_id);
    EXPECT_EQ(dirty, out[2].id.path_id);
    std::free(out);
}
