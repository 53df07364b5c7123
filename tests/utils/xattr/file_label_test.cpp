#include <vorxlabelmgr/file_label.h>

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "log_capture.h"
#include "text_files.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const char kAttr[] = "security.vorx";

context_t makeContext(uint64_t seed)
{
    return context_t{{seed, seed + 1, seed + 2},
                     {seed + 3, 0, ~seed},
                     {seed + 4, seed + 5, seed + 6},
                     static_cast<uint32_t>(seed + 7),
                     0xffffffffu};
}

bool sameId(const vorx_id_t& a, const vorx_id_t& b)
{
    return a.part0 == b.part0 && a.part1 == b.part1 && a.part2 == b.part2;
}

const vorx_id_t kUntouched = {0x77, 0x78, 0x79};

// The stored value as the file system holds it; "<errno text>" when absent.
std::string rawValue(const std::string& path, bool follow)
{
    char buf[65536];
    ssize_t n =
        follow ? getxattr(path.c_str(), kAttr, buf, sizeof buf) : lgetxattr(path.c_str(), kAttr, buf, sizeof buf);
    if (n < 0) return std::string("<") + strerror(errno) + ">";
    return std::string(buf, static_cast<size_t>(n));
}

bool setRaw(const std::string& path, const std::string& value)
{
    return setxattr(path.c_str(), kAttr, value.data(), value.size(), 0) == 0;
}

std::string noData()
{
    return std::string("<") + strerror(ENODATA) + ">";
}

enum class FileSystem { tmpfs, buildDir };

void PrintTo(FileSystem fs, std::ostream* out)
{
    *out << (fs == FileSystem::tmpfs ? "tmpfs" : "build directory");
}

// A file and a symbolic link to it, on tmpfs or on the build's disk.
class FileLabel : public vorxtest::CapturedLogTest, public testing::WithParamInterface<FileSystem> {
protected:
    void SetUp() override
    {
        vorxtest::CapturedLogTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        std::string base = GetParam() == FileSystem::tmpfs ? "/tmp" : VORX_TEST_DISK_DIR;
        std::string pattern = base + "/labels.XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr) << strerror(errno);
        dir = pattern;
        file = dir + "/file";
        link = dir + "/link";
        ASSERT_TRUE(vorxtest::writeTextFile(file, "content"));
        ASSERT_EQ(symlink("file", link.c_str()), 0) << strerror(errno);
        if (setxattr(file.c_str(), kAttr, "x", 1, 0) != 0)
            GTEST_SKIP() << base << " keeps no " << kAttr << ": " << strerror(errno);
        ASSERT_EQ(removexattr(file.c_str(), kAttr), 0);
    }

    void TearDown() override
    {
        if (dir.empty()) return;
        unlink(link.c_str());
        unlink(file.c_str());
        rmdir(dir.c_str());
    }

    std::string dir, file, link;
};

TEST_P(FileLabel, WritesTheLabelTextAndReadsItBack)
{
    const context_t written = makeContext(0x1000);
    ASSERT_EQ(setFileLabelToXattr(file.c_str(), written, 1), 0);
    EXPECT_EQ(rawValue(file, true), contextToString(written));
    EXPECT_EQ(rawValue(file, true).size(), 170u);

    context_t read{};
    ASSERT_EQ(getFileLabelFromXattr(file.c_str(), read, 1), 0);
    EXPECT_TRUE(compareContext(read, written));
    vorx_id_t sid = kUntouched, oid = kUntouched;
    EXPECT_EQ(getFileSidFromXattr(file.c_str(), sid, 1), 0);
    EXPECT_EQ(getFileCreateOidFromXattr(file.c_str(), oid, 1), 0);
    EXPECT_TRUE(sameId(sid, written.sid));
    EXPECT_TRUE(sameId(oid, written.creator_oid));

    // The flags replace an existing value.
    const context_t replaced = makeContext(0x2000);
    ASSERT_EQ(setFileLabelToXattr(file.c_str(), replaced, 1), 0);
    EXPECT_EQ(rawValue(file, true), contextToString(replaced));
    EXPECT_THAT(log.take(), IsEmpty());
}

TEST_P(FileLabel, Type1FollowsTheLinkAndType3UsesTheLinkItself)
{
    const context_t target = makeContext(0x10), own = makeContext(0x20);
    ASSERT_EQ(setFileLabelToXattr(link.c_str(), target, 1), 0);
    EXPECT_EQ(rawValue(file, true), contextToString(target));
    EXPECT_EQ(rawValue(link, false), noData());

    ASSERT_EQ(setFileLabelToXattr(link.c_str(), own, 3), 0);
    EXPECT_EQ(rawValue(link, false), contextToString(own));
    EXPECT_EQ(rawValue(file, true), contextToString(target));

    context_t read{};
    ASSERT_EQ(getFileLabelFromXattr(link.c_str(), read, 1), 0);
    EXPECT_TRUE(compareContext(read, target));
    ASSERT_EQ(getFileLabelFromXattr(link.c_str(), read, 3), 0);
    EXPECT_TRUE(compareContext(read, own));

    vorx_id_t id = kUntouched;
    ASSERT_EQ(getFileSidFromXattr(link.c_str(), id, 1), 0);
    EXPECT_TRUE(sameId(id, target.sid));
    ASSERT_EQ(getFileSidFromXattr(link.c_str(), id, 3), 0);
    EXPECT_TRUE(sameId(id, own.sid));
    ASSERT_EQ(getFileCreateOidFromXattr(link.c_str(), id, 1), 0);
    EXPECT_TRUE(sameId(id, target.creator_oid));
    ASSERT_EQ(getFileCreateOidFromXattr(link.c_str(), id, 3), 0);
    EXPECT_TRUE(sameId(id, own.creator_oid));
    EXPECT_THAT(log.take(), IsEmpty());
}

TEST_P(FileLabel, WriterTakesEveryOtherAcceptedTypeAsTheLinkItself)
{
    uint64_t seed = 0x100;
    for (int fileType : {0, 2, -1, INT_MIN}) {
        const context_t ctx = makeContext(seed++);
        ASSERT_EQ(setFileLabelToXattr(link.c_str(), ctx, fileType), 0) << fileType;
        EXPECT_EQ(rawValue(link, false), contextToString(ctx)) << fileType;
        EXPECT_EQ(rawValue(file, true), noData()) << fileType;
    }
    EXPECT_THAT(log.take(), IsEmpty());
}

TEST_P(FileLabel, MissingAttributeOrPathIsADebugLineAndLeavesIdAlone)
{
    const std::string missing = dir + "/missing";
    for (const std::string& path : {file, missing}) {
        const std::string readLine = "[DEBUG] get file label from xattr error, " + path + " getxattr failed, " +
                                     strerror(path == file ? ENODATA : ENOENT);
        context_t ctx{};
        EXPECT_EQ(getFileLabelFromXattr(path.c_str(), ctx, 1), -1);
        EXPECT_THAT(log.take(), ElementsAre(readLine));
        EXPECT_EQ(getFileLabelFromXattr(path.c_str(), ctx, 3), -1);
        EXPECT_THAT(log.take(), ElementsAre(readLine));

        vorx_id_t id = kUntouched;
        EXPECT_EQ(getFileSidFromXattr(path.c_str(), id, 1), -1);
        EXPECT_THAT(log.take(), ElementsAre(readLine, "[ERROR] get file sid from xattr error, get file label failed."));
        EXPECT_EQ(getFileCreateOidFromXattr(path.c_str(), id, 1), -1);
        EXPECT_THAT(log.take(),
                    ElementsAre(readLine, "[DEBUG] get file creator oid from xattr error, get file label failed."));
        EXPECT_TRUE(sameId(id, kUntouched));
    }

    EXPECT_EQ(setFileLabelToXattr(missing.c_str(), makeContext(1), 1), -1);
    EXPECT_THAT(log.take(),
                ElementsAre("[ERROR] set file label to xattr: " + missing + " setxattr error, " + strerror(ENOENT)));
}

TEST_P(FileLabel, ValueIsReadUpToItsFirstNul)
{
    const context_t ctx = makeContext(0x30);
    ASSERT_TRUE(setRaw(file, contextToString(ctx) + std::string("\0garbage:zz", 11)));
    context_t read{};
    ASSERT_EQ(getFileLabelFromXattr(file.c_str(), read, 1), 0);
    EXPECT_TRUE(compareContext(read, ctx));
    EXPECT_THAT(log.take(), IsEmpty());

    ASSERT_TRUE(setRaw(file, std::string("\0", 1) + contextToString(ctx)));
    EXPECT_EQ(getFileLabelFromXattr(file.c_str(), read, 1), -1);
    EXPECT_THAT(log.take(), ElementsAre("[ERROR] readUint64 String format error.",
                                        "[ERROR] get file label from xattr, label string to convert context error."));
}

TEST_P(FileLabel, ValueThatIsNoLabelTextIsRefusedAfterTheParsersLine)
{
    const std::string partial = "1-2-zz:10";
    ASSERT_TRUE(setRaw(file, partial));
    context_t ctx = makeContext(0x40);
    const context_t before = ctx;
    EXPECT_EQ(getFileLabelFromXattr(file.c_str(), ctx, 1), -1);
    const std::string parserLine = "[ERROR] readUint64 Invalid argument: stoull.";
    const std::string labelLine = "[ERROR] get file label from xattr, label string to convert context error.";
    EXPECT_THAT(log.take(), ElementsAre(parserLine, labelLine));
    // What the parser read before it failed stays in ctx.
    EXPECT_EQ(ctx.sid.part0, 1u);
    EXPECT_EQ(ctx.sid.part1, 2u);
    EXPECT_EQ(ctx.sid.part2, before.sid.part2);
    EXPECT_EQ(ctx.value_a, before.value_a);

    vorx_id_t id = kUntouched;
    EXPECT_EQ(getFileSidFromXattr(file.c_str(), id, 1), -1);
    EXPECT_THAT(log.take(),
                ElementsAre(parserLine, labelLine, "[ERROR] get file sid from xattr error, get file label failed."));
    EXPECT_EQ(getFileCreateOidFromXattr(file.c_str(), id, 1), -1);
    EXPECT_THAT(log.take(), ElementsAre(parserLine, labelLine,
                                        "[DEBUG] get file creator oid from xattr error, get file label failed."));
    EXPECT_TRUE(sameId(id, kUntouched));

    ASSERT_TRUE(setRaw(file, "plain text"));
    EXPECT_EQ(getFileLabelFromXattr(file.c_str(), ctx, 1), -1);
    EXPECT_THAT(log.take(), ElementsAre(parserLine, labelLine));
}

// The read buffer holds 1024 bytes with the terminator: 1023 is the longest
// value read; anything longer is refused as the file system refuses a value
// that does not fit.
TEST_P(FileLabel, ValuesOf1024BytesOrMoreAreRefused)
{
    const context_t ctx = makeContext(0x50);
    const std::string label = contextToString(ctx);
    ASSERT_TRUE(setRaw(file, label + ":" + std::string(1023 - label.size() - 1, 'p')));
    context_t read{};
    ASSERT_EQ(getFileLabelFromXattr(file.c_str(), read, 1), 0);
    EXPECT_TRUE(compareContext(read, ctx));
    EXPECT_THAT(log.take(), IsEmpty());

    const std::string refused =
        "[DEBUG] get file label from xattr error, " + file + " getxattr failed, " + strerror(ERANGE);
    for (size_t size : {1024u, 1025u, 4000u}) {
        ASSERT_TRUE(setRaw(file, label + ":" + std::string(size - label.size() - 1, 'p'))) << size;
        EXPECT_EQ(getFileLabelFromXattr(file.c_str(), read, 1), -1) << size;
        EXPECT_THAT(log.take(), ElementsAre(refused)) << size;
    }
}

INSTANTIATE_TEST_SUITE_P(FileSystems, FileLabel, testing::Values(FileSystem::tmpfs, FileSystem::buildDir),
                         [](const testing::TestParamInfo<FileSystem>& info) {
                             return std::string(info.param == FileSystem::tmpfs ? "Tmpfs" : "BuildDir");
                         });

// Refused arguments: nothing reaches the file system, so a path that would
// otherwise be read is never looked at.
using FileLabelArguments = vorxtest::CapturedLogTest;

TEST_F(FileLabelArguments, NullPathAndTypesAbove3AreRefused)
{
    const char* path = "/nonexistent/never-looked-at";
    const std::string labelParam = "[ERROR] get file label from xattr error, invalid parameter";
    const std::string sidParam = "[ERROR] get file sid from xattr error, invalid parameter";
    const std::string oidParam = "[ERROR] get file creator oid from xattr error, invalid parameter";
    const std::string setParam = "[ERROR] set file label to xattr: parameter error.";

    struct Case {
        const char* path;
        unsigned int readType;
        int writeType;
    };
    // -1 passed to a reader arrives as UINT_MAX.
    for (const Case& c : {Case{nullptr, 1, 1}, Case{nullptr, 3, 0}, Case{path, 4, 4}, Case{path, UINT_MAX, INT_MAX}}) {
        context_t ctx = makeContext(9);
        vorx_id_t id = kUntouched;
        EXPECT_EQ(getFileLabelFromXattr(c.path, ctx, c.readType), -1);
        EXPECT_EQ(getFileSidFromXattr(c.path, id, c.readType), -1);
        EXPECT_EQ(getFileCreateOidFromXattr(c.path, id, c.readType), -1);
        EXPECT_EQ(setFileLabelToXattr(c.path, ctx, c.writeType), -1);
        EXPECT_THAT(log.take(), ElementsAre(labelParam, sidParam, oidParam, setParam));
        EXPECT_TRUE(sameId(id, kUntouched));
        EXPECT_TRUE(compareContext(ctx, makeContext(9)));
    }
}

TEST_F(FileLabelArguments, ReadersRefuseTypes0And2)
{
    const char* path = "/nonexistent/never-looked-at";
    for (unsigned int fileType : {0u, 2u}) {
        const std::string typeLine = "[ERROR] get file label from xattr error, file type " + std::to_string(fileType);
        context_t ctx{};
        vorx_id_t id = kUntouched;
        EXPECT_EQ(getFileLabelFromXattr(path, ctx, fileType), -1);
        EXPECT_THAT(log.take(), ElementsAre(typeLine));
        EXPECT_EQ(getFileSidFromXattr(path, id, fileType), -1);
        EXPECT_THAT(log.take(), ElementsAre(typeLine, "[ERROR] get file sid from xattr error, get file label failed."));
        EXPECT_EQ(getFileCreateOidFromXattr(path, id, fileType), -1);
        EXPECT_THAT(log.take(),
                    ElementsAre(typeLine, "[DEBUG] get file creator oid from xattr error, get file label failed."));
        EXPECT_TRUE(sameId(id, kUntouched));
    }
}

}  // namespace
