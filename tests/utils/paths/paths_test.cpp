#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/path_utils.h>

#include "log_capture.h"

using namespace std::string_literals;

namespace {

TEST(FormatPath, FoldsSlashRunsAndDropsOneTrailingSlashOrSlashStar)
{
    struct {
        const char* in;
        const char* want;
    } cases[] = {
        {"/a//b/*", "/a/b"},      {"a//*", "a"},          {"/*", "/"},     {"///", "/"}, {"a/b/", "a/b"},
        {"/a/*/*", "/a/*"},       {"a/**", "a/**"},       {"*", "*"},      {"", ""},     {"/", "/"},
        {"a/./../b", "a/./../b"}, {"a\\\\/b", "a\\\\/b"}, {"//a//", "/a"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatPath(c.in), c.want) << c.in;
}

TEST(IsSubDirectory, PathTextBelowTheDirectoryButNotTheDirectoryItself)
{
    struct {
        const char* path;
        const char* dir;
        bool want;
    } cases[] = {
        {"/a/b", "/a", true},    {"/a/", "/a", true},   {"/a", "/a", false},  {"/ab", "/a", false},
        {"/a/b", "/a/", true},   {"/a/b", "/", true},   {"/a/b", "", true},   {"a/b", "a", true},
        {"/a/../b", "/a", true}, {"/A/b", "/a", false}, {"/a", "/a/", false}, {"", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isSubDirectory(c.path, c.dir), c.want) << c.path << " in " << c.dir;
}

TEST(GetParentDirWithoutWildcard, DirectoryPartCutBeforeTheFirstStarOrQuestionMark)
{
    struct {
        const char* in;
        const char* want;
    } cases[] = {
        {"/a/b", "/a"},
        {"/a/b/", "/a"},
        {"/a", "/"},
        {"//", "/"},
        {"/", ""},
        {"", ""},
        {"abc", "abc"},
        {"abc/", "abc"},
        {"a//b", "a/"},
        {"[x]/y", "[x]"},
        {"/etc/*.conf", "/etc"},
        {"/etc/a*/b", "/etc"},
        {"/a/b?/c", "/a"},
        {"/a/*/", "/a"},
        {"a/b*", "a"},
        {"/*", "/"},
        {"*.conf", "/"},
        {"a?/b", "/"},
        {"/a//b*", "/a/"},
    };
    for (const auto& c : cases) EXPECT_EQ(getParentDirWithoutWildcard(c.in), c.want) << c.in;
}

// A small real tree: root/{d/{f,s/g},file,ld -> d,dangling -> missing}.
class PathTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/paths-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        // mkdtemp's 0700 would stop a child that drops its privileges.
        ASSERT_EQ(chmod(tmpl, 0755), 0);
        ASSERT_EQ(mkdir((root + "/d").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((root + "/d/s").c_str(), 0755), 0);
        std::ofstream(root + "/d/f") << "f";
        std::ofstream(root + "/d/s/g") << "g";
        std::ofstream(root + "/file") << "x";
        ASSERT_EQ(symlink("d", (root + "/ld").c_str()), 0);
        ASSERT_EQ(symlink("missing", (root + "/dangling").c_str()), 0);
    }

    void TearDown() override
    {
        if (!root.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(root, ignored);
        }
    }

    std::string root;
};

TEST_F(PathTree, KindTestsDoNotFollowLinks)
{
    const std::string d = root + "/d", ld = root + "/ld", file = root + "/file", missing = root + "/nope";
    EXPECT_EQ(pathIsDir(d.c_str()), 1);
    EXPECT_EQ(pathIsDir(ld.c_str()), 0);
    EXPECT_EQ(pathIsDir(file.c_str()), 0);
    EXPECT_EQ(pathIsDir(missing.c_str()), 0);
    EXPECT_EQ(pathIsLinkFile(ld.c_str()), 1);
    EXPECT_EQ(pathIsLinkFile(d.c_str()), 0);
    EXPECT_EQ(pathIsLinkFile(missing.c_str()), 0);
    EXPECT_EQ(pathIsLinkFile((root + "/dangling").c_str()), 1);
}

TEST_F(PathTree, ExistsAnswersZeroForYes)
{
    EXPECT_EQ(pathIsExists((root + "/file").c_str()), 0);
    EXPECT_EQ(pathIsExists((root + "/ld").c_str()), 0);
    EXPECT_EQ(pathIsExists((root + "/dangling").c_str()), -1);
    EXPECT_EQ(pathIsExists((root + "/nope").c_str()), -1);
}

TEST_F(PathTree, RealPathResolvesLinksAndDotsOrIsEmpty)
{
    EXPECT_EQ(getRealPath(""), "");
    EXPECT_EQ(getRealPath(root + "/nope"), "");
    EXPECT_EQ(getRealPath(root + "/dangling"), "");
    EXPECT_EQ(getRealPath(root + "/ld/s/../f"), root + "/d/f");
    EXPECT_EQ(getRealPath(root + "//d///s/"), root + "/d/s");
    EXPECT_EQ(getRealPath(root + "/d\0/s"s), root + "/d");  // the C library sees up to the NUL
    ASSERT_EQ(chdir((root + "/d").c_str()), 0);
    EXPECT_EQ(getRealPath("s/g"), root + "/d/s/g");
}

TEST_F(PathTree, LinkRealPathKeepsTheLastComponent)
{
    EXPECT_EQ(getLinkRealPath(""), "");
    EXPECT_EQ(getLinkRealPath("/x"), "//x");
    EXPECT_EQ(getLinkRealPath("/"), "///");
    EXPECT_EQ(getLinkRealPath(root + "/ld"), root + "/ld");
    EXPECT_EQ(getLinkRealPath(root + "/ld/f"), root + "/d/f");
    EXPECT_EQ(getLinkRealPath(root + "/ld/nothing"), root + "/d/nothing");
    EXPECT_EQ(getLinkRealPath(root + "/nope/x"), "");
    ASSERT_EQ(symlink("d/s", (root + "/ls").c_str()), 0);
    ASSERT_EQ(chdir(root.c_str()), 0);
    EXPECT_EQ(getLinkRealPath("x"), root + "/x");
    EXPECT_EQ(getLinkRealPath("ld/s/"), root + "/d/s");
    EXPECT_EQ(getLinkRealPath("ls"), root + "/ls");
}

TEST_F(PathTree, FirstExistingParentIsTheNearestAncestorDirectoryNeverThePathItself)
{
    struct {
        std::string in, want;
    } cases[] = {
        {root + "/d/f", root + "/d"},
        {root + "/d", root},  // the path itself is no candidate
        {root + "/d/", root + "/d"},
        {root + "/missing/x/y", root},
        {root + "/file/x", root},        // a file is no directory
        {root + "/ld/x", root + "/ld"},  // a link to a directory is one
        {root + "/d/s*/x", root + "/d"},
        {root + "/d/s?", root + "/d"},
        {"/x", "/"},
        {"/missing-vorx-dir/x/y", "/"},
        {"/*x/y", "/"},
        {"/*", "/"},
        {"x", ""},
        {"*", ""},
        {"a*", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(findFirstExistingParentDir(c.in), c.want) << c.in;
    ASSERT_EQ(chdir(root.c_str()), 0);
    EXPECT_EQ(findFirstExistingParentDir("d/s/nothing"), "d/s");
    EXPECT_EQ(findFirstExistingParentDir("d/nothing/x"), "d");
    EXPECT_EQ(findFirstExistingParentDir("no/such/x"), "");
}

TEST(IsPartitionReadOnly, MissingPathWritesTheStatfsLine)
{
    testing::internal::CaptureStderr();
    const int got = isPartitionReadOnly("/nonexistent-vorx-path/x");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "statfs error: No such file or directory\n");
    EXPECT_EQ(got, 0);
}

TEST(IsPartitionReadOnly, ReadOnlyMountGivesOneAndWritableZero)
{
    VORX_REQUIRE_MOUNT_NS();
    ASSERT_EQ(mkdir("/tmp/ro", 0755), 0);
    ASSERT_EQ(mount("tmpfs", "/tmp/ro", "tmpfs", MS_RDONLY, nullptr), 0);
    EXPECT_EQ(isPartitionReadOnly("/tmp/ro"), 1);
    EXPECT_EQ(isPartitionReadOnly("/tmp"), 0);
}

// traverseDirectory may log: it runs in the private namespace.
class Traverse : public PathTree {
protected:
    void SetUp() override
    {
        VORX_REQUIRE_LOG_CAPTURE();
        PathTree::SetUp();
    }

    // The list must be pre-order: each directory directly before the entries
    // below it, with nothing else in between.
    static void expectPreOrder(const std::vector<std::string>& list, size_t from)
    {
        for (size_t i = from; i < list.size(); ++i) {
            const std::string prefix = list[i] + "/";
            size_t j = i + 1;
            while (j < list.size() && list[j].compare(0, prefix.size(), prefix) == 0) ++j;
            for (size_t k = j; k < list.size(); ++k)
                EXPECT_NE(list[k].compare(0, prefix.size(), prefix), 0) << list[k] << " strays from " << list[i];
        }
    }
};

TEST_F(Traverse, PreOrderWithLinksListedNotFollowed)
{
    std::vector<std::string> list{"kept"};
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    EXPECT_EQ(traverseDirectory(root, list), 0);
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list[0], "kept");
    EXPECT_EQ(list[1], root);
    const std::set<std::string> got(list.begin() + 2, list.end());
    const std::set<std::string> want{root + "/d",    root + "/d/f", root + "/d/s",     root + "/d/s/g",
                                     root + "/file", root + "/ld",  root + "/dangling"};
    EXPECT_EQ(got, want);
    EXPECT_EQ(list.size(), want.size() + 2);  // "." and ".." are not listed on tmpfs
    expectPreOrder(list, 1);
    EXPECT_TRUE(log.take().empty());
}

TEST_F(Traverse, TextIsNotNormalised)
{
    std::vector<std::string> list;
    EXPECT_EQ(traverseDirectory(root + "/d/s/", list), 0);
    EXPECT_EQ(list, (std::vector<std::string>{root + "/d/s/", root + "/d/s//g"}));
}

TEST_F(Traverse, UnopenableDirectoryIsListedAndWarned)
{
    std::vector<std::string> list{"kept"};
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    EXPECT_EQ(traverseDirectory(root + "/nope", list), -1);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", root + "/nope"}));
    EXPECT_EQ(traverseDirectory(root + "/file", list), -1);
    EXPECT_EQ(log.take(), (std::vector<std::string>{"[WARN] Unable to open directory: " + root + "/nope",
                                                    "[WARN] Unable to open directory: " + root + "/file"}));
}

// Root opens everything, so the walk runs in a child that gave up root.
TEST_F(Traverse, UnreadableSubdirectoryIsListedWarnedAndSkipped)
{
    ASSERT_EQ(chmod((root + "/d/s").c_str(), 0), 0);
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(2);
        std::vector<std::string> list;
        int rc = traverseDirectory(root, list);
        std::string out = std::to_string(rc) + "\n";
        for (const auto& p : list) out += p + "\n";
        _exit(write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size()) ? 0 : 3);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::vector<std::string> lines;
    for (size_t pos = 0, nl; (nl = out.find('\n', pos)) != std::string::npos; pos = nl + 1)
        lines.push_back(out.substr(pos, nl - pos));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "0");
    const std::set<std::string> got(lines.begin() + 1, lines.end());
    EXPECT_EQ(got, (std::set<std::string>{root, root + "/d", root + "/d/f", root + "/d/s", root + "/file", root + "/ld",
                                          root + "/dangling"}));
    EXPECT_EQ(log.take(), std::vector<std::string>{"[WARN] Unable to open directory: " + root + "/d/s"});
}

}  // namespace
