#include "private_bus.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "process_probe.h"
#include "write_all.h"

namespace vorxtest {

namespace {

std::string errnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

using vorxtool::writeAll;

void removeTree(const std::string& dir)
{
    if (dir.empty()) return;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            unlink((dir + "/" + name).c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

}  // namespace

// ---- PrivateSystemBus ----

PrivateSystemBus::~PrivateSystemBus()
{
    stop();
}

bool PrivateSystemBus::start(std::string* why, const std::string& extraConfig)
{
    stop();
    char tmpl[] = "/tmp/vorx-bus-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        *why = errnoText("mkdtemp");
        return false;
    }
    dir_ = tmpl;
    std::string config = dir_ + "/bus.conf";
    {
        std::ofstream conf(config);
        conf << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig>\n"
                "  <type>system</type>\n"
                "  <listen>unix:path="
             << dir_
             << "/socket</listen>\n"
                "  <auth>EXTERNAL</auth>\n"
                "  <policy context=\"default\">\n"
                "    <allow user=\"*\"/>\n"
                "    <allow own=\"*\"/>\n"
                "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                "    <allow receive_sender=\"*\"/>\n"
                "    <allow eavesdrop=\"true\"/>\n"
                "  </policy>\n"
             << extraConfig << "\n</busconfig>\n";
        if (!conf.good()) {
            *why = "cannot write " + config;
            stop();
            return false;
        }
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *why = errnoText("pipe2");
        stop();
        return false;
    }
    pid_t launcher =
        spawn({"/usr/bin/dbus-daemon", "--fork", "--print-address=1", "--print-pid=1", "--config-file=" + config}, -1,
              fds[1], -1, why);
    close(fds[1]);
    if (launcher < 0) {
        close(fds[0]);
        stop();
        return false;
    }
    std::string buffered, addressLine, pidLine;
    bool ok =
        readLine(fds[0], &buffered, &addressLine, 20000, why) && readLine(fds[0], &buffered, &pidLine, 20000, why);
    close(fds[0]);
    int status = 0;
    while (waitpid(launcher, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (ok)
            *why = "dbus-daemon failed to start (status " + std::to_string(status) + ")";
        else
            *why = "dbus-daemon: " + *why;
        if (!pidLine.empty()) pid_ = static_cast<pid_t>(std::atol(pidLine.c_str()));
        stop();
        return false;
    }
    address_ = addressLine;
    pid_ = static_cast<pid_t>(std::atol(pidLine.c_str()));
    return pid_ > 0 && !address_.empty();
}

void PrivateSystemBus::exportAddress() const
{
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
}

void PrivateSystemBus::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        for (int i = 0; i < 500 && !processGone(pid_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!processGone(pid_)) kill(pid_, SIGKILL);
        for (int i = 0; i < 500 && !processGone(pid_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        pid_ = -1;
    }
    removeTree(dir_);
    dir_.clear();
    address_.clear();
}

// ---- LabelMgrPeer ----

LabelMgrPeer::~LabelMgrPeer()
{
    stop();
}

bool LabelMgrPeer::start(Mode mode, const PrivateSystemBus& bus, std::string* why,
                         const std::vector<std::string>& extraArgs)
{
    stop();
    std::string program = standinProgram();
    if (program.empty()) {
        *why = "labelmgr-standin not found (build tools/ or set VORX_LABELMGR_STANDIN)";
        return false;
    }
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        *why = errnoText("pipe2");
        return false;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        *why = errnoText("pipe2");
        close(in[0]);
        close(in[1]);
        return false;
    }
    std::vector<std::string> args = {program,     mode == Mode::Scripted ? "--peer" : "--control",
                                     "--address", bus.address(),
                                     "--bus-pid", std::to_string(bus.pid()),
                                     "--bus-dir", bus.dir()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    pid_ = spawn(args, in[0], out[1], -1, why);
    close(in[0]);
    close(out[1]);
    toPeer_ = in[1];
    fromPeer_ = out[0];
    if (pid_ < 0) {
        stop();
        return false;
    }
    std::string line;
    if (!readLine(fromPeer_, &buffered_, &line, 20000, why) || line.compare(0, 6, "ready ") != 0) {
        if (why->empty()) *why = "unexpected first line from the peer: " + line;
        *why = "labelmgr-standin did not come up: " + *why;
        stop();
        return false;
    }
    uniqueName_ = line.substr(6);
    return true;
}

void LabelMgrPeer::stop()
{
    // SIGTERM ends the peer alone. "quit" or the end of its input (the test
    // died) would take the bus daemon down too, so the pipe stays open until
    // the peer is gone.
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        bool reaped = false;
        for (int i = 0; i < 300 && !reaped; ++i) {
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_ || (r < 0 && errno != EINTR))
                reaped = true;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!reaped) {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid_ = -1;
    }
    if (toPeer_ >= 0) close(toPeer_);
    toPeer_ = -1;
    if (fromPeer_ >= 0) close(fromPeer_);
    fromPeer_ = -1;
    buffered_.clear();
    uniqueName_.clear();
}

bool LabelMgrPeer::transact(const std::string& line, std::vector<std::string>* answer, std::string* why)
{
    if (toPeer_ < 0) {
        *why = "the peer is not running";
        return false;
    }
    if (line.find('\n') != std::string::npos) {
        *why = "a command is one line (escape newlines as \\n)";
        return false;
    }
    if (!writeAll(toPeer_, line + "\n")) {
        *why = errnoText("write to the peer");
        return false;
    }
    for (;;) {
        std::string l;
        // Generous: the peer may be sleeping through a scripted delay.
        if (!readLine(fromPeer_, &buffered_, &l, 120000, why)) return false;
        answer->push_back(l);
        if (l == "end" || l.compare(0, 2, "ok") == 0 || l.compare(0, 3, "err") == 0) return true;
    }
}

::testing::AssertionResult LabelMgrPeer::simple(const std::string& line)
{
    std::vector<std::string> answer;
    std::string why;
    if (!transact(line, &answer, &why)) return ::testing::AssertionFailure() << line << ": " << why;
    if (answer.back().compare(0, 2, "ok") != 0) return ::testing::AssertionFailure() << line << ": " << answer.back();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult LabelMgrPeer::reply(const std::string& member, const std::string& signature,
                                               const std::string& values)
{
    return simple("reply " + member + " " + (signature.empty() ? "-" : signature) + " " + values);
}

::testing::AssertionResult LabelMgrPeer::error(const std::string& member, const std::string& name,
                                               const std::string& message)
{
    return simple("error " + member + " " + name + " " + message);
}

::testing::AssertionResult LabelMgrPeer::delay(const std::string& member, int ms)
{
    return simple("delay " + member + " " + std::to_string(ms));
}

::testing::AssertionResult LabelMgrPeer::forget(const std::string& member)
{
    return simple("forget " + member);
}

::testing::AssertionResult LabelMgrPeer::clearCalls()
{
    return simple("clear");
}

std::vector<PeerCall> LabelMgrPeer::calls()
{
    std::vector<std::string> answer;
    std::string why;
    std::vector<PeerCall> out;
    if (!transact("calls", &answer, &why)) {
        ADD_FAILURE() << "reading the peer's call record: " << why;
        return out;
    }
    for (const std::string& l : answer) {
        if (l.compare(0, 5, "call\t") != 0) continue;
        std::vector<std::string> f;
        size_t pos = 5;
        for (;;) {
            size_t tab = l.find('\t', pos);
            f.push_back(l.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
            if (tab == std::string::npos) break;
            pos = tab + 1;
        }
        f.resize(6);
        out.push_back(PeerCall{f[0], f[1], f[2], f[3], f[4], f[5]});
    }
    return out;
}

bool LabelMgrPeer::hasOwner(const std::string& busName)
{
    std::vector<std::string> answer;
    std::string why;
    if (!transact("has-owner " + busName, &answer, &why)) {
        ADD_FAILURE() << "has-owner: " << why;
        return false;
    }
    return answer.back() == "ok yes";
}

// ---- helpers ----

std::string standinProgram()
{
    if (const char* env = std::getenv("VORX_LABELMGR_STANDIN")) {
        if (*env) return env;
    }
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    self[n] = '\0';
    std::string dir = self;
    // Walk up from the test program to the build tree's top.
    for (;;) {
        size_t slash = dir.rfind('/');
        if (slash == std::string::npos || slash == 0) return "";
        dir.erase(slash);
        std::string candidate = dir + "/tools/labelmgr-standin/labelmgr-standin";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
}

// ---- fixtures ----

void LabelMgrPeerTest::SetUp()
{
    unsetenv("DBUSXX_VERBOSE");
    std::string why;
    ASSERT_TRUE(bus.start(&why, extraBusConfig())) << "private system bus: " << why;
    bus.exportAddress();
    ASSERT_TRUE(peer.start(peerMode(), bus, &why, peerArgs())) << why;
}

void LabelMgrPeerTest::TearDown()
{
    peer.stop();
    bus.stop();
}

}  // namespace vorxtest
