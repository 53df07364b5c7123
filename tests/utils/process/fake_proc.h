#ifndef VORX_TEST_FAKE_PROC_H
#define VORX_TEST_FAKE_PROC_H

// Relabelling tests never see the host's processes: in a private mount
// namespace a tmpfs covers /proc and the test builds the process directories
// it needs. What the library logs is captured as in every other test.

#include <ftw.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "log_capture.h"
#include "mount_ns.h"
#include "text_files.h"

namespace vorxtest {

// A labelled executable in the private /tmp and an empty /proc to fill.
class FakeProcTest : public CapturedLogTest {
protected:
    static constexpr char kExe[] = "/tmp/bin/app";
    // Another program, for processes that do not run kExe.
    static constexpr char kOther[] = "/tmp/bin/other";
    static constexpr char kRealProc[] = "/tmp/realproc";

    void SetUp() override
    {
        CapturedLogTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(makeDirs("/tmp/bin"));
        ASSERT_TRUE(writeTextFile(kExe, "#!/bin/sh\n"));
        // The real procfs stays reachable here, for descriptors' magic links.
        ASSERT_TRUE(makeDirs(kRealProc));
        ASSERT_EQ(mount("/proc", kRealProc, nullptr, MS_BIND | MS_REC, nullptr), 0) << strerror(errno);
        std::string why;
        ASSERT_TRUE(privateDir("/proc", &why)) << why;
        procCovered_ = true;
    }

    void TearDown() override
    {
        // The real procfs comes back, for the sanitizers' exit-time checks.
        if (procCovered_) umount2("/proc", MNT_DETACH);
    }

    // The path of this process's descriptor fd through the real procfs.
    static std::string descriptorPath(int fd)
    {
        return std::string(kRealProc) + "/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd);
    }

    static bool setLabel(const std::string& path, const std::string& text)
    {
        return setxattr(path.c_str(), "security.vorx", text.data(), text.size(), 0) == 0;
    }

    static std::string labelPath(int pid) { return "/proc/" + std::to_string(pid) + "/attr/vorx/current"; }

    // A process directory with its exe link and, unless null, its label file.
    static bool addProcess(const std::string& name, const std::string& exe, const char* label = nullptr)
    {
        std::string dir = "/proc/" + name;
        if (!makeDirs(dir + "/attr/vorx") || symlink(exe.c_str(), (dir + "/exe").c_str()) != 0) return false;
        return label == nullptr || writeTextFile(dir + "/attr/vorx/current", label);
    }

    // A process that has ended: its directory is gone, as procfs shows it.
    static bool removeProcess(const std::string& name)
    {
        auto remove = [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); };
        return nftw(("/proc/" + name).c_str(), remove, 16, FTW_DEPTH | FTW_PHYS) == 0;
    }

private:
    bool procCovered_ = false;
};

}  // namespace vorxtest

#endif
