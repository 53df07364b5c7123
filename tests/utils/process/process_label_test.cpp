#include <vorxlabelmgr/label_context.h>
#include <vorxlabelmgr/process_label.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_proc.h"

using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using vorxtest::readTextFile;
using vorxtest::writeTextFile;

namespace {

// The executable's label; its subject id is what processes receive.
const char kSid[] = "0000000000000001-0000000000abcdef-ffffffffffffffff";
const std::string kExeLabel = std::string(kSid) +
                              ":00000010:0000000000000000-0000000000000000-0000000000000000:ffffffff:"
                              "000000000000000a-000000000000000b-000000000000000c";
const char kOldSid[] = "0000000000000009-0000000000000009-0000000000000009";
const std::string kTail =
    ":00000007:0000000000000004-0000000000000005-0000000000000006:00000008:"
    "000000000000000d-000000000000000e-000000000000000f";
const std::string kOldLabel = kOldSid + kTail + "\n";

class Relabel : public vorxtest::FakeProcTest {
protected:
    void SetUp() override
    {
        FakeProcTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(setLabel(kExe, kExeLabel)) << strerror(errno);
        // The label as the library must read it back.
        context_t ctx{};
        ASSERT_EQ(stringToContext(kExeLabel, ctx), 0);
        ASSERT_EQ(ctx.sid.part1, 0xabcdefu);
    }

    std::string info(int pid, const char* what, const std::string& text) const
    {
        return "[INFO] update the label of the running process " + std::string(kExe) + "[" + std::to_string(pid) +
               "], " + what + ": " + text + "\n";
    }

    std::string rewriteLines(int pid, const std::string& oldText, const std::string& newText) const
    {
        return info(pid, "attr current value", oldText) +
               "[DEBUG] update the label of the running process, attr current path: " + labelPath(pid) + "\n" +
               info(pid, "new processattr", newText);
    }

    std::string skipped(int pid) const
    {
        return "[WARN] update the label of the running process " + std::string(kExe) + "[" + std::to_string(pid) +
               "] skipped: it does not run that file\n";
    }

    std::string writeFailed(int pid) const
    {
        return "[ERROR] update the label of the running process " + std::string(kExe) + "[" + std::to_string(pid) +
               "]: write process attr failed!\n";
    }
};

TEST_F(Relabel, EachProcessGetsTheExecutablesSubjectId)
{
    const std::string noNewline = kOldSid + kTail;
    ASSERT_TRUE(addProcess("100", kExe, kOldLabel.c_str()));
    ASSERT_TRUE(addProcess("200", kExe, noNewline.c_str()));

    CaptureStderr();
    EXPECT_EQ(updateProcessAttr({100, 200}, kExe), 0);
    EXPECT_EQ(GetCapturedStderr(), "");

    // Fields 1 to 4 as they were; a final newline belongs to field 4 and stays.
    EXPECT_EQ(readTextFile(labelPath(100)), kSid + kTail + "\n");
    EXPECT_EQ(readTextFile(labelPath(200)), kSid + kTail);
    EXPECT_EQ(log.takeText(),
              rewriteLines(100, kOldLabel, kSid + kTail + "\n") + rewriteLines(200, noNewline, kSid + kTail));
}

TEST_F(Relabel, ExecutableLinkIsFollowedToItsLabel)
{
    ASSERT_EQ(symlink(kExe, "/tmp/bin/link"), 0);
    ASSERT_TRUE(addProcess("100", kExe, kOldLabel.c_str()));
    EXPECT_EQ(updateProcessAttr({100}, "/tmp/bin/link"), 0);
    EXPECT_EQ(readTextFile(labelPath(100)), kSid + kTail + "\n");
}

TEST_F(Relabel, EmptyListTouchesNothingAndLogsNothing)
{
    EXPECT_EQ(updateProcessAttr({}, kExe), 0);
    EXPECT_EQ(log.takeText(), "");
}

TEST_F(Relabel, ExecutableWithoutLabelTouchesNoProcess)
{
    ASSERT_TRUE(writeTextFile("/tmp/bin/unlabelled", "x"));
    ASSERT_TRUE(addProcess("100", kExe, kOldLabel.c_str()));

    CaptureStderr();
    // 300 does not exist: reading it would show on standard error.
    EXPECT_EQ(updateProcessAttr({300, 100}, "/tmp/bin/unlabelled"), -1);
    EXPECT_EQ(GetCapturedStderr(), "");

    EXPECT_EQ(readTextFile(labelPath(100)), kOldLabel);
    const std::string text = log.takeText();
    EXPECT_THAT(text, HasSubstr("[ERROR] update the label of a running process error: process exe file "
                                "/tmp/bin/unlabelled\n"));
    EXPECT_THAT(text, Not(HasSubstr("[INFO]")));
}

TEST_F(Relabel, VanishedProcessIsSkippedWithoutChangingTheResult)
{
    ASSERT_TRUE(addProcess("100", kExe, kOldLabel.c_str()));

    CaptureStderr();
    EXPECT_EQ(updateProcessAttr({300, 100}, kExe), 0);
    EXPECT_EQ(GetCapturedStderr(), "Unable to open file: " + labelPath(300) + "\n");

    EXPECT_EQ(readTextFile(labelPath(100)), kSid + kTail + "\n");
    EXPECT_EQ(log.takeText(), rewriteLines(100, kOldLabel, kSid + kTail + "\n"));
}

TEST_F(Relabel, RefusedWritesFailTheCallButNotTheOtherProcesses)
{
    ASSERT_TRUE(addProcess("100", kExe, kOldLabel.c_str()));
    // Refused when opened: a read-only mount over the label file.
    ASSERT_TRUE(addProcess("200", kExe, kOldLabel.c_str()));
    ASSERT_EQ(mount(labelPath(200).c_str(), labelPath(200).c_str(), nullptr, MS_BIND, nullptr), 0);
    ASSERT_EQ(mount(nullptr, labelPath(200).c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
    // Refused at write time, as the kernel refuses a label it will not take:
    // a file sealed against writes opens, truncates, and refuses the data.
    int sealed = memfd_create("label", MFD_ALLOW_SEALING | MFD_CLOEXEC);
    ASSERT_GE(sealed, 0);
    ASSERT_EQ(write(sealed, kOldLabel.data(), kOldLabel.size()), static_cast<ssize_t>(kOldLabel.size()));
    ASSERT_EQ(fcntl(sealed, F_ADD_SEALS, F_SEAL_WRITE), 0);
    ASSERT_TRUE(addProcess("400", kExe));
    ASSERT_EQ(symlink(descriptorPath(sealed).c_str(), labelPath(400).c_str()), 0);
    ASSERT_TRUE(addProcess("500", kExe, kOldLabel.c_str()));

    CaptureStderr();
    EXPECT_EQ(updateProcessAttr({100, 200, 400, 500}, kExe), -1);
    EXPECT_EQ(GetCapturedStderr(), "Unable to open file for writing: " + labelPath(200) + "\n" +
                                       "Unable to write file: " + labelPath(400) + "\n");
    close(sealed);

    EXPECT_EQ(readTextFile(labelPath(100)), kSid + kTail + "\n");
    EXPECT_EQ(readTextFile(labelPath(200)), kOldLabel);
    EXPECT_EQ(readTextFile(labelPath(500)), kSid + kTail + "\n");
    const std::string newLabel = kSid + kTail + "\n";
    EXPECT_EQ(log.takeText(), rewriteLines(100, kOldLabel, newLabel) + rewriteLines(200, kOldLabel, newLabel) +
                                  writeFailed(200) + rewriteLines(400, kOldLabel, newLabel) + writeFailed(400) +
                                  rewriteLines(500, kOldLabel, newLabel));
}

TEST_F(Relabel, ProcessRunningAnotherFileIsSkipped)
{
    // The caller names the process under kExe, but it runs another file, or
    // a file that cannot be reached.
    ASSERT_TRUE(writeTextFile(kOther, "#!/bin/sh\n"));
    ASSERT_TRUE(addProcess("100", kOther, kOldLabel.c_str()));
    ASSERT_TRUE(addProcess("200", kExe, kOldLabel.c_str()));
    ASSERT_TRUE(addProcess("300", "/tmp/bin/missing", kOldLabel.c_str()));

    CaptureStderr();
    EXPECT_EQ(updateProcessAttr({100, 200, 300}, kExe), 0);
    EXPECT_EQ(GetCapturedStderr(), "");

    EXPECT_EQ(readTextFile(labelPath(100)), kOldLabel);
    EXPECT_EQ(readTextFile(labelPath(200)), kSid + kTail + "\n");
    EXPECT_EQ(readTextFile(labelPath(300)), kOldLabel);
    EXPECT_EQ(log.takeText(), skipped(100) + rewriteLines(200, kOldLabel, kSid + kTail + "\n") + skipped(300));
}

TEST_F(Relabel, HardLinkToTheExecutableIsTheSameFile)
{
    ASSERT_EQ(link(kExe, "/tmp/bin/hard"), 0);
    ASSERT_TRUE(addProcess("100", "/tmp/bin/hard", kOldLabel.c_str()));
    EXPECT_EQ(updateProcessAttr({100}, kExe), 0);
    EXPECT_EQ(readTextFile(labelPath(100)), kSid + kTail + "\n");
}

// The attack itself: in a mount namespace of its own, a process binds another
// program over kExe and runs it. Its exe link then reads kExe, so the listing
// puts it under kExe, but the file it runs is another.
class SpoofedPath : public Relabel {
protected:
    static constexpr char kProgram[] = "/bin/sleep";

    void TearDown() override
    {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        Relabel::TearDown();
    }

    // The spoofing process, seen in the fake /proc as its real directory.
    void spawn()
    {
        struct stat program;
        if (stat(kProgram, &program) != 0) GTEST_SKIP() << kProgram << ": " << strerror(errno);
        child_ = fork();
        ASSERT_GE(child_, 0);
        if (child_ == 0) {
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount(kProgram, kExe, nullptr, MS_BIND, nullptr) != 0)
                _exit(1);
            execl(kExe, "app", "600", static_cast<char*>(nullptr));
            _exit(2);
        }
        const std::string real = std::string(kRealProc) + "/" + std::to_string(child_);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        struct stat st;
        while (stat((real + "/exe").c_str(), &st) != 0 || st.st_ino != program.st_ino || st.st_dev != program.st_dev) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the spoofing process did not start";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const std::string fake = "/proc/" + std::to_string(child_);
        ASSERT_TRUE(vorxtest::makeDirs(fake));
        ASSERT_EQ(mount(real.c_str(), fake.c_str(), nullptr, MS_BIND, nullptr), 0) << strerror(errno);
        // A label file as the kernel would show it, over the real attr files.
        ASSERT_EQ(mount("tmpfs", (fake + "/attr").c_str(), "tmpfs", 0, "mode=0755"), 0) << strerror(errno);
        ASSERT_TRUE(vorxtest::makeDirs(fake + "/attr/vorx"));
        ASSERT_TRUE(writeTextFile(labelPath(child_), kOldLabel));
    }

    pid_t child_ = 0;
};

TEST_F(SpoofedPath, ProcessListedUnderTheExecutableButRunningAnotherFileIsSkipped)
{
    ASSERT_TRUE(addProcess("1", kExe, kOldLabel.c_str()));
    spawn();
    if (IsSkipped() || HasFatalFailure()) return;

    std::map<std::string, std::vector<int>> table = findProcessExeFile();
    ASSERT_EQ(table.size(), 1u);
    std::vector<int> listed = table[kExe];
    std::sort(listed.begin(), listed.end());
    ASSERT_EQ(listed, (std::vector<int>{1, child_}));

    CaptureStderr();
    EXPECT_EQ(updateProcessAttr(table[kExe], kExe), 0);
    EXPECT_EQ(GetCapturedStderr(), "");

    EXPECT_EQ(readTextFile(labelPath(1)), kSid + kTail + "\n");
    EXPECT_EQ(readTextFile(labelPath(child_)), kOldLabel);
    std::string want;
    for (int pid : table[kExe])
        want += pid == child_ ? skipped(pid) : rewriteLines(pid, kOldLabel, kSid + kTail + "\n");
    EXPECT_EQ(log.takeText(), want);
}

TEST_F(Relabel, ProcessReplacedAfterTheListingIsSkipped)
{
    ASSERT_TRUE(writeTextFile(kOther, "#!/bin/sh\n"));
    ASSERT_TRUE(addProcess("100", kExe, kOldLabel.c_str()));
    ASSERT_TRUE(addProcess("200", kExe, kOldLabel.c_str()));
    std::map<std::string, std::vector<int>> table = findProcessExeFile();
    ASSERT_EQ(table[kExe].size(), 2u);
    // 100 ends and its pid comes back running another program.
    ASSERT_TRUE(removeProcess("100"));
    ASSERT_TRUE(addProcess("100", kOther, kOldLabel.c_str()));

    CaptureStderr();
    EXPECT_EQ(updateProcessAttr({100, 200}, kExe), 0);
    EXPECT_EQ(GetCapturedStderr(), "");

    EXPECT_EQ(readTextFile(labelPath(100)), kOldLabel);
    EXPECT_EQ(readTextFile(labelPath(200)), kSid + kTail + "\n");
    EXPECT_EQ(log.takeText(), skipped(100) + rewriteLines(200, kOldLabel, kSid + kTail + "\n"));
}

// The label file of 100 is a pipe: its old text is handed over, then `change`
// runs while the library still waits for the end of the text, that is after
// the process was checked and before its label is written.
class ReplacedWhileRelabelled : public Relabel {
protected:
    void relabelWhile(const std::function<void()>& change)
    {
        ASSERT_TRUE(writeTextFile(kOther, "#!/bin/sh\n"));
        ASSERT_TRUE(addProcess("100", kExe));
        ASSERT_EQ(mkfifo(labelPath(100).c_str(), 0600), 0);
        std::thread writer([&] {
            int fd = open(labelPath(100).c_str(), O_WRONLY | O_CLOEXEC);  // waits for the library's open
            if (fd < 0) return;
            const bool ok = write(fd, kOldLabel.data(), kOldLabel.size()) == static_cast<ssize_t>(kOldLabel.size());
            change();
            close(fd);
            EXPECT_TRUE(ok);
        });
        CaptureStderr();
        result = updateProcessAttr({100}, kExe);
        stderrText = GetCapturedStderr();
        writer.join();
    }

    int result = -2;
    std::string stderrText;
};

TEST_F(ReplacedWhileRelabelled, PidTakenByAnotherProcessIsNotWritten)
{
    relabelWhile([this] {
        EXPECT_TRUE(removeProcess("100"));
        EXPECT_TRUE(addProcess("100", kOther, kOldLabel.c_str()));
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(stderrText, "");
    EXPECT_EQ(readTextFile(labelPath(100)), kOldLabel);
    EXPECT_EQ(log.takeText(), rewriteLines(100, kOldLabel, kSid + kTail + "\n") + skipped(100));
}

TEST_F(ReplacedWhileRelabelled, ProcessThatRanAnotherProgramMeanwhileIsNotWritten)
{
    // The same process (the same directory) now runs another file.
    relabelWhile([this] {
        const std::string dir = "/proc/100";
        EXPECT_EQ(unlink((dir + "/exe").c_str()), 0);
        EXPECT_EQ(symlink(kOther, (dir + "/exe").c_str()), 0);
        EXPECT_EQ(unlink(labelPath(100).c_str()), 0);
        EXPECT_TRUE(writeTextFile(labelPath(100), kOldLabel));
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(stderrText, "");
    EXPECT_EQ(readTextFile(labelPath(100)), kOldLabel);
    EXPECT_EQ(log.takeText(), rewriteLines(100, kOldLabel, kSid + kTail + "\n") + skipped(100));
}

// One old label text and what becomes of it.
struct TextCase {
    const char* name;
    std::string oldText;
    std::string newText;  // empty: the file must stay as it was
    int result;
    std::string errorLine;  // empty: no error line
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.name;
}

class RelabelText : public Relabel, public testing::WithParamInterface<TextCase> {};

TEST_P(RelabelText, FieldsOneToFourAreCarriedOver)
{
    const TextCase& c = GetParam();
    ASSERT_TRUE(addProcess("100", kExe, c.oldText.c_str()));

    CaptureStderr();
    EXPECT_EQ(updateProcessAttr({100}, kExe), c.result);
    EXPECT_EQ(GetCapturedStderr(), "");

    EXPECT_EQ(readTextFile(labelPath(100)), c.newText.empty() ? c.oldText : c.newText);
    const std::string text = log.takeText();
    if (c.oldText.empty())
        EXPECT_EQ(text, "");
    else if (!c.newText.empty())
        EXPECT_EQ(text, rewriteLines(100, c.oldText, c.newText));
    else
        EXPECT_EQ(text, info(100, "attr current value", c.oldText) + c.errorLine);
}

const std::string kS = kSid;

INSTANTIATE_TEST_SUITE_P(
    Cases, RelabelText,
    testing::Values(
        TextCase{"SixthFieldIsDropped", "o:a:b:c:d:e\n", kS + ":a:b:c:d", 0, ""},
        TextCase{"EmptyFieldShiftsTheRestForward", "o:a::b:c:d", kS + ":a:b:c:d", 0, ""},
        TextCase{"LeadingColonIsNoField", ":o:a:b:c:d\n", kS + ":a:b:c:d\n", 0, ""},
        TextCase{"BytesAreCopiedAsTheyAre", "o:A b:%s%n:\t-\xff:z\r", kS + ":A b:%s%n:\t-\xff:z\r", 0, ""},
        TextCase{"EmptyFileIsSkipped", "", "", 0, ""},
        TextCase{"OnlyColonsIsNoLabel", "::::", "", 0,
                 "[ERROR] update the label of a running process error: attr current value: is nullptr\n"},
        TextCase{"FourFieldsCannotBeCompleted", "o:a:b:c\n", "", -1,
                 "[ERROR] update the label of the running process /tmp/bin/app[100] error: attr current value has "
                 "4 fields, 5 needed\n"},
        TextCase{"OneFieldCannotBeCompleted", "o", "", -1,
                 "[ERROR] update the label of the running process /tmp/bin/app[100] error: attr current value has "
                 "1 fields, 5 needed\n"}),
    [](const testing::TestParamInfo<TextCase>& info) { return info.param.name; });

class FindProcesses : public vorxtest::FakeProcTest {};

// Ids in the order the listing gives the named entries.
std::vector<int> inListingOrder(const std::vector<std::string>& names)
{
    std::vector<int> ids;
    DIR* dir = opendir("/proc");
    while (const dirent* e = dir != nullptr ? readdir(dir) : nullptr) {
        for (const std::string& name : names)
            if (name == e->d_name) ids.push_back(std::stoi(name));
    }
    if (dir != nullptr) closedir(dir);
    return ids;
}

TEST_F(FindProcesses, GroupsProcessesByExecutableInListingOrder)
{
    const std::string longTarget = "/" + std::string(4094, 'l');  // 4095 bytes, the longest kept
    ASSERT_TRUE(addProcess("300", kExe));
    ASSERT_TRUE(addProcess("100", kExe));
    ASSERT_TRUE(addProcess("200", "/tmp/bin/other"));
    ASSERT_TRUE(addProcess("700", kExe));
    ASSERT_TRUE(addProcess("600", longTarget));
    // Left out: no exe link, names that are not all digits, a number too big
    // for an int (as an int it would wrap to 100), and entries that are not
    // directories.
    ASSERT_TRUE(vorxtest::makeDirs("/proc/400"));
    ASSERT_TRUE(addProcess("12a", kExe));
    ASSERT_TRUE(addProcess("abc", kExe));
    ASSERT_TRUE(addProcess("4294967396", kExe));
    ASSERT_TRUE(addProcess("99999999999999999999", kExe));
    ASSERT_EQ(symlink("100", "/proc/555"), 0);
    ASSERT_EQ(symlink("100", "/proc/self"), 0);
    ASSERT_TRUE(writeTextFile("/proc/800", ""));

    std::map<std::string, std::vector<int>> table = findProcessExeFile();

    std::map<std::string, std::vector<int>> expected = {
        {kExe, inListingOrder({"100", "300", "700"})}, {"/tmp/bin/other", {200}}, {longTarget, {600}}};
    ASSERT_EQ(expected[kExe].size(), 3u);
    EXPECT_EQ(table, expected);
    EXPECT_EQ(log.takeText(), "");
}

TEST_F(FindProcesses, EmptyProcGivesAnEmptyTable)
{
    EXPECT_THAT(findProcessExeFile(), IsEmpty());
}

// Turns this process's permission-override capabilities off or back on.
bool overrideFilePermissions(bool on)
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        if (on)
            data[cap / 32].effective |= 1u << (cap % 32);
        else
            data[cap / 32].effective &= ~(1u << (cap % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

TEST_F(FindProcesses, UnopenableProcIsLogged)
{
    ASSERT_TRUE(addProcess("100", kExe));
    ASSERT_EQ(chmod("/proc", 0), 0);
    ASSERT_TRUE(overrideFilePermissions(false));
    std::map<std::string, std::vector<int>> table = findProcessExeFile();
    ASSERT_TRUE(overrideFilePermissions(true));

    EXPECT_THAT(table, IsEmpty());
    EXPECT_EQ(log.takeText(), "[ERROR] find process exe file error: open /proc failed...\n");
}

}  // namespace
