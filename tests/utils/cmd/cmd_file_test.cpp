#include <vorxlabelmgr/cmd_file.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

constexpr int kUntouched = -7;

// Runs cmd and takes the result apart, releasing it as a caller must.
struct Output {
    bool null = true;
    int n = kUntouched;
    std::vector<std::string> lines;
};

Output run(const std::string& cmd)
{
    Output out;
    char** lines = excuteCmd(cmd.c_str(), &out.n);
    out.null = lines == nullptr;
    for (int i = 0; lines != nullptr && i < out.n; ++i) {
        out.lines.push_back(lines[i] != nullptr ? lines[i] : "<null>");
        free(lines[i]);
    }
    free(lines);
    return out;
}

class TempDir : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/vorx-cmd-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        if (!dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }

    std::string dir;
};

bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The command padded with a shell comment to exactly `length` characters.
std::string padded(const std::string& cmd, size_t length)
{
    std::string text = cmd + " #";
    text.append(length - text.size(), 'x');
    return text;
}

TEST(ExcuteCmd, NullArgumentsGiveNullAndLeaveTheCountAlone)
{
    int n = kUntouched;
    EXPECT_EQ(excuteCmd(nullptr, &n), nullptr);
    EXPECT_EQ(n, kUntouched);
    EXPECT_EQ(excuteCmd("echo hi", nullptr), nullptr);
}

TEST(ExcuteCmd, NoOutputGivesNullWithCountZero)
{
    Output out = run("true");
    EXPECT_TRUE(out.null);
    EXPECT_EQ(out.n, 0);
}

struct SplitCase {
    const char* name;
    const char* cmd;
    std::vector<std::string> lines;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class ExcuteCmdSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(ExcuteCmdSplit, OutputBecomesOneEntryPerPiece)
{
    Output out = run(GetParam().cmd);
    EXPECT_FALSE(out.null);
    EXPECT_EQ(out.n, static_cast<int>(GetParam().lines.size()));
    EXPECT_THAT(out.lines, ElementsAreArray(GetParam().lines));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExcuteCmdSplit,
    testing::Values(
        SplitCase{"TwoLines", "printf 'a\\nb\\n'", {"a", "b"}},
        SplitCase{"NoFinalNewline", "printf 'a\\nb'", {"a", "b"}},
        SplitCase{"EmptyLines", "printf '\\na\\n\\n\\nb\\n'", {"", "a", "", "", "b"}},
        SplitCase{"OnlyANewline", "echo", {""}},
        SplitCase{"LongLineIn1022Pieces",
                  "head -c 2000 /dev/zero | tr '\\0' x; echo",
                  {std::string(1022, 'x'), std::string(978, 'x')}},
        SplitCase{"Exactly1022AndNewline", "head -c 1022 /dev/zero | tr '\\0' y; echo", {std::string(1022, 'y'), ""}},
        SplitCase{"Exactly1021AndNewline", "head -c 1021 /dev/zero | tr '\\0' y; echo", {std::string(1021, 'y')}},
        SplitCase{"NulEndsTheEntry", "printf 'ab\\000cd\\nef\\n'", {"ab", "ef"}},
        SplitCase{"FailingCommandStillGivesItsOutput", "echo out; exit 3", {"out"}},
        SplitCase{"StandardErrorIsNotCaptured", "echo err >&2; echo out", {"out"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(ExcuteCmd, ArrayGrowsPastItsFirst1024Lines)
{
    Output out = run("seq 1 3000");
    ASSERT_EQ(out.n, 3000);
    ASSERT_EQ(out.lines.size(), 3000u);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(out.lines[i], std::to_string(i + 1));
}

TEST(ExcuteCmd, SystemDirectoriesAreAppendedToTheCallersPath)
{
    ASSERT_EQ(setenv("PATH", "/opt/vorx-test/bin:/bin", 1), 0);
    Output out = run("echo \"$PATH\"");
    EXPECT_THAT(
        out.lines,
        ElementsAre("/opt/vorx-test/bin:/bin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/root/bin:/root/bin"));
}

TEST_F(TempDir, LongestCommandRunsWhole)
{
    std::string marker = dir + "/ran";
    // The whole command must run: the final echo only appears when nothing was cut.
    std::string tail = "; touch '" + marker + "'; echo start; echo end";
    std::string cmd = ": " + std::string(932 - 2 - tail.size(), 'x') + tail;
    ASSERT_EQ(cmd.size(), 932u);
    Output out = run(cmd);
    EXPECT_THAT(out.lines, ElementsAre("start", "end"));
    EXPECT_TRUE(exists(marker));
}

TEST_F(TempDir, CommandTooLongForTheLineIsRefusedNotCut)
{
    std::string marker = dir + "/ran";
    // Cut after 932 characters this would still create the marker.
    std::string cmd = padded("touch '" + marker + "'", 933);
    ASSERT_EQ(cmd.size(), 933u);
    Output out = run(cmd);
    EXPECT_TRUE(out.null);
    EXPECT_EQ(out.n, kUntouched);
    EXPECT_FALSE(exists(marker));

    out = run(padded("touch '" + marker + "'", 5000));
    EXPECT_EQ(out.n, kUntouched);
    EXPECT_FALSE(exists(marker));
}

TEST_F(TempDir, ReadFileGivesEveryByteOrAnEmptyString)
{
    std::string path = dir + "/data";
    std::string data("lab\0el\n\xff\0", 9);
    data += std::string(100000, 'z');  // well past any one read
    ASSERT_TRUE(writeFile(path, data));
    EXPECT_EQ(readFile(path), data);

    ASSERT_TRUE(writeFile(path, ""));
    CaptureStderr();
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(TempDir, ReadFileFailuresGoToStandardError)
{
    CaptureStderr();
    EXPECT_EQ(readFile(dir + "/missing"), "");
    EXPECT_EQ(GetCapturedStderr(), "Unable to open file: " + dir + "/missing\n");

    // A directory opens but cannot be read.
    CaptureStderr();
    EXPECT_EQ(readFile(dir), "");
    EXPECT_EQ(GetCapturedStderr(), "Unable to read file: " + dir + "\n");
}

TEST_F(TempDir, WriteFileReplacesTheWholeContent)
{
    std::string path = dir + "/label";
    ASSERT_TRUE(writeFile(path, std::string(5000, 'l')));
    CaptureStderr();
    EXPECT_TRUE(writeFile(path, "short"));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(readFile(path), "short");
}

TEST_F(TempDir, WriteFileReportsARefusedOpen)
{
    std::string path = dir + "/no/such/dir/file";
    CaptureStderr();
    EXPECT_FALSE(writeFile(path, "x"));
    EXPECT_EQ(GetCapturedStderr(), "Unable to open file for writing: " + path + "\n");
    EXPECT_FALSE(exists(dir + "/no"));
}

TEST(WriteFile, ReportsAWriteTheKernelRefuses)
{
    // /dev/full opens fine and refuses every write, as a label file refuses a bad text.
    CaptureStderr();
    EXPECT_FALSE(writeFile("/dev/full", "label"));
    EXPECT_EQ(GetCapturedStderr(), "Unable to write file: /dev/full\n");

    // Nothing to write is not a failure.
    EXPECT_TRUE(writeFile("/dev/full", ""));
}

}  // namespace
