// What a failed allocation inside a call gives, for each kind of result: an
// allocator that refuses large blocks while armed, and names larger than that.
#include <vorxlabelmgr/labelmgr_client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "private_bus.h"

namespace {

constexpr size_t kRefusedFrom = 64 * 1024;
std::atomic<bool> armed{false};

void* allocate(size_t size)
{
    if (armed.load(std::memory_order_relaxed) && size >= kRefusedFrom) throw std::bad_alloc();
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(size_t size)
{
    return allocate(size);
}

void* operator new[](size_t size)
{
    return allocate(size);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

class FailedAllocation : public vorxtest::LabelMgrPeerTest {
protected:
    const std::string huge = std::string(kRefusedFrom, 'n');
};

TEST_F(FailedAllocation, GivesMinus3OrAnEmptyResultWithoutALine)
{
    ASSERT_TRUE(peer.reply("getPkgId", "t", "1"));
    uint64_t id = 7;
    VORX_ID rec{1, 2, 3};
    const char* files[] = {huge.c_str()};
    std::string text = "unset";
    CaptureStdout();
    CaptureStderr();
    armed = true;
    int pkgRc = getPkgId(huge.c_str(), &id);
    int oidRc = getFileOid(huge.c_str(), &rec);
    int labelRc = setLabelForPkg(files, 1, "p");
    text = getPathSm3HashValue(huge.c_str());
    addTagFullSystem(huge.c_str(), {});
    armed = false;
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(pkgRc, -3);
    EXPECT_EQ(id, 7u);
    EXPECT_EQ(oidRc, -3);
    EXPECT_EQ(rec.pkg_id, 0u);  // zeroed once the bus was reached, as on any failure after that
    EXPECT_EQ(labelRc, -3);
    EXPECT_EQ(text, "");
    // Nothing of the failed calls stays in the way of the next one.
    EXPECT_EQ(getPkgId("a", &id), 0);
    EXPECT_EQ(id, 1u);
}

}  // namespace
