#include <vorxlabelmgr/cmd_file.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "descriptor_probe.h"

extern "C" void* __real_realloc(void* ptr, size_t size);

namespace {

// realloc calls allowed to succeed before the next ones fail; < 0: no limit.
long reallocsLeft = -1;

}  // namespace

extern "C" void* __wrap_realloc(void* ptr, size_t size)
{
    if (reallocsLeft == 0) return nullptr;
    if (reallocsLeft > 0) --reallocsLeft;
    return __real_realloc(ptr, size);
}

namespace {

TEST(ExcuteCmdOutOfMemory, ReturnsTheLinesStoredBeforeTheArrayCouldNotGrow)
{
    auto before = vorxtest::openDescriptors();
    int n = -7;
    reallocsLeft = 1500;  // one growth per line
    char** lines = excuteCmd("seq 1 5000", &n);
    reallocsLeft = -1;

    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(n, 1500);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(std::string(lines[i]), std::to_string(i + 1));
        free(lines[i]);
    }
    free(lines);
    // The stream is closed and the shell reaped; the sanitizer build checks
    // that nothing else stayed allocated.
    EXPECT_EQ(vorxtest::openDescriptors(), before);
}

TEST(ExcuteCmdOutOfMemory, NoRoomForTheFirstLineGivesNullWithCountZero)
{
    int n = -7;
    reallocsLeft = 0;
    char** lines = excuteCmd("echo one; echo two", &n);
    reallocsLeft = -1;
    EXPECT_EQ(lines, nullptr);
    EXPECT_EQ(n, 0);
}

}  // namespace
