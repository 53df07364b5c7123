#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorxlabelmgr/path_utils.h>

#include "log_capture.h"

using namespace std::string_literals;

namespace {

// Runs before each readdir(3) of the process, the library's included, while
// set: the place where a test changes the tree between the listing of a
// directory and the opening of the subdirectories it listed.
std::function<void(DIR*)> beforeReaddir;

}  // namespace

// This program's readdir comes first for the library too; it hands on to the
// C library's.
extern "C" struct dirent* readdir(DIR* dir)
{
    using Readdir = struct dirent* (*)(DIR*);
    static const Readdir next = reinterpret_cast<Readdir>(dlsym(RTLD_NEXT, "readdir"));
    if (beforeReaddir) beforeReaddir(dir);
    return next(dir);
}

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

// What traverseDirectory listed before it opened subdirectories through
// their parents: the same walk by path names, with opendir on every path.
void walkByPathNames(const std::string& directory, std::vector<std::string>& list, std::vector<std::string>& refused)
{
    list.push_back(directory);
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        refused.push_back("[WARN] Unable to open directory: " + directory);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string path = directory + "/" + entry->d_name;
        if (entry->d_type != DT_DIR)
            list.push_back(path);
        else if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            walkByPathNames(path, list, refused);
    }
    closedir(dir);
}

TEST_F(Traverse, HonestTreeGivesTheListOfAWalkByPathNames)
{
    // More of everything: an empty directory, a pipe, a link to a directory
    // outside, a directory nobody may search (root still may), and a chain
    // of directories whose paths grow past PATH_MAX, where opendir stops.
    ASSERT_EQ(mkdir((root + "/empty").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((root + "/d/pipe").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/etc", (root + "/d/s/etc").c_str()), 0);
    ASSERT_EQ(mkdir((root + "/closed").c_str(), 0), 0);
    std::ofstream(root + "/closed/inside") << "x";
    int fd = open((root + "/d").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string name(200, 'n');
    size_t length = root.size() + 2;
    for (int depth = 0; length < PATH_MAX + 2 * name.size(); ++depth) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
        std::ofstream(root + "/d/s/depth" + std::to_string(depth)) << depth;
        int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        const int file = openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(file, 0);
        close(file);
        length += 1 + name.size();
    }
    close(fd);

    for (const std::string& top : {root, root + "/", root + "/d/../d", root.substr(1)}) {
        SCOPED_TRACE(top);
        ASSERT_EQ(chdir("/"), 0);
        std::vector<std::string> want{"kept"}, warnings;
        walkByPathNames(top, want, warnings);
        ASSERT_EQ(warnings.size(), 1u);  // the first path too long for opendir

        std::vector<std::string> got{"kept"};
        vorxtest::LogTail log(vorxtest::kCapturedLog);
        EXPECT_EQ(traverseDirectory(top, got), 0);
        EXPECT_EQ(got, want);
        EXPECT_EQ(log.take(), warnings);
    }
}

// A tree whose owner swaps names for links while it is walked: two
// directories in one parent, the one listed first (the trigger) and the one
// after it (the victim). While the walk reads the trigger, the victim's
// entry has been listed as a directory but not opened yet.
class SwappedTree : public Traverse {
protected:
    void SetUp() override
    {
        Traverse::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        char tmpl[] = "/tmp/outside-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        outside = tmpl;
    }

    void TearDown() override
    {
        beforeReaddir = nullptr;
        if (!outside.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(outside, ignored);
        }
        Traverse::TearDown();
    }

    // parent/{x,y}, each holding a file "inside"; names the one readdir gives
    // first the trigger and the other the victim.
    void makePair(const std::string& parent)
    {
        for (const char* n : {"x", "y"}) {
            ASSERT_EQ(mkdir((parent + "/" + n).c_str(), 0755), 0);
            std::ofstream(parent + "/" + n + "/inside") << n;
        }
        DIR* dir = opendir(parent.c_str());
        ASSERT_NE(dir, nullptr);
        while (const dirent* e = readdir(dir)) {
            if (std::strcmp(e->d_name, "x") != 0 && std::strcmp(e->d_name, "y") != 0) continue;
            (trigger.empty() ? trigger : victim) = e->d_name;
        }
        closedir(dir);
        ASSERT_EQ(trigger.size() + victim.size(), 2u);
    }

    // At the first read of the trigger, `swap` runs once.
    void onTrigger(const std::string& parent, std::function<void()> swap)
    {
        struct stat st;
        ASSERT_EQ(lstat((parent + "/" + trigger).c_str(), &st), 0);
        beforeReaddir = [st, swap, done = false](DIR* dir) mutable {
            struct stat now;
            if (done || fstat(dirfd(dir), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) return;
            done = true;
            swap();
        };
    }

    // Swaps parent/name for a link to target.
    static void swapForLink(const std::string& path, const std::string& target)
    {
        ASSERT_EQ(rename(path.c_str(), (path + ".real").c_str()), 0);
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    }

    static bool anyBelow(const std::vector<std::string>& list, const std::string& name)
    {
        return std::any_of(list.begin(), list.end(), [&](const std::string& p) {
            return p.size() > name.size() && p.compare(p.size() - name.size(), name.size(), name) == 0;
        });
    }

    std::string outside, trigger, victim;
};

TEST_F(SwappedTree, SubdirectorySwappedForALinkAfterItWasListedIsNotFollowed)
{
    const std::string top = root + "/w";
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    makePair(top);
    std::ofstream(outside + "/secret") << "s";
    onTrigger(top, [&] { swapForLink(top + "/" + victim, outside); });

    std::vector<std::string> list;
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    EXPECT_EQ(traverseDirectory(top, list), 0);
    beforeReaddir = nullptr;

    EXPECT_FALSE(anyBelow(list, "/secret"));
    // Handled like a directory that cannot be opened: listed and warned.
    EXPECT_EQ(list, (std::vector<std::string>{top, top + "/" + trigger, top + "/" + trigger + "/inside",
                                              top + "/" + victim}));
    EXPECT_EQ(log.take(), std::vector<std::string>{"[WARN] Unable to open directory: " + top + "/" + victim});
}

TEST_F(SwappedTree, AncestorSwappedForALinkDuringTheWalkIsNotFollowed)
{
    // root/w/up/{x,y}; while x or y is read, "up" becomes a link to a tree
    // outside that has the same names.
    const std::string up = root + "/w/up";
    ASSERT_TRUE(vorxtest::makeDirs(up));
    makePair(up);
    for (const char* n : {"x", "y"}) {
        ASSERT_EQ(mkdir((outside + "/" + n).c_str(), 0755), 0);
        std::ofstream(outside + "/" + n + "/secret") << "s";
    }
    onTrigger(up, [&] { swapForLink(up, outside); });

    std::vector<std::string> list;
    vorxtest::LogTail log(vorxtest::kCapturedLog);
    EXPECT_EQ(traverseDirectory(root + "/w", list), 0);
    beforeReaddir = nullptr;

    // The walk goes on in the directories it holds, under their old names.
    EXPECT_FALSE(anyBelow(list, "/secret"));
    EXPECT_EQ(list, (std::vector<std::string>{root + "/w", up, up + "/" + trigger, up + "/" + trigger + "/inside",
                                              up + "/" + victim, up + "/" + victim + "/inside"}));
    EXPECT_TRUE(log.take().empty());
}

}  // namespace
