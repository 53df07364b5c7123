// The stand-ins as programs: what --help says, and how a scripted peer ends
// the bus it was given.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "private_bus.h"
#include "process_probe.h"

namespace {

// A child with pipes on its standard streams (standard error too, so that
// --help can be seen to write nothing there).
class Child {
public:
    explicit Child(const std::vector<std::string>& args)
    {
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        std::string why;
        pid_ = vorxtest::spawn(args, in[0], out[1], err[1], &why);
        close(in[0]);
        close(out[1]);
        close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
    }
    ~Child()
    {
        closeInput();
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool send(const std::string& line)
    {
        std::string s = line + "\n";
        return write(in_, s.data(), s.size()) == static_cast<ssize_t>(s.size());
    }
    void closeInput()
    {
        if (in_ >= 0) close(in_);
        in_ = -1;
    }

    // One line of standard output; "" after 10 s or at its end.
    std::string line()
    {
        std::string l, why;
        return vorxtest::readLine(out_, &buffered_, &l, 10000, &why) ? l : "";
    }

    // Everything until the end of both streams, then the exit status.
    int finish(std::string* out, std::string* err)
    {
        closeInput();
        *out = buffered_ + drain(out_);
        *err = drain(err_);
        return exitStatus(10000);
    }

    // The exit code within `ms`; -1 when still running or killed.
    int exitStatus(int ms)
    {
        for (int i = 0; i < ms / 10; ++i) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    static std::string drain(int& fd)
    {
        std::string text;
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) text.append(buf, static_cast<size_t>(n));
        close(fd);
        fd = -1;
        return text;
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    std::string buffered_;
};

// The verbs that --help lists under "Commands": the lines indented by two.
std::vector<std::string> helpVerbs(const std::string& help)
{
    std::vector<std::string> verbs;
    std::istringstream in(help);
    std::string l;
    bool inCommands = false;
    while (std::getline(in, l)) {
        if (l.rfind("Commands", 0) == 0) inCommands = true;
        if (!inCommands) continue;
        if (l.empty() && !verbs.empty()) break;
        if (l.size() > 2 && l.compare(0, 2, "  ") == 0 && l[2] != ' ') verbs.push_back(l.substr(2, l.find(' ', 2) - 2));
    }
    return verbs;
}

struct ProgramCase {
    const char* name;
    const char* path;
    const char* mustSay;  // a text the help cannot do without
};

const ProgramCase kPrograms[] = {
    {"standin", VORX_LABELMGR_STANDIN_PROGRAM, "--bus-pid PID"},
    {"publisher", VORX_LABEL_PUBLISHER_PROGRAM, "private mount namespace"},
    {"listen", VORX_LABEL_LISTEN_PROGRAM, "-c COUNT"},
};

TEST(ToolHelp, HelpGoesToStandardOutputWithExitZeroAndAWrongOptionFails)
{
    for (const ProgramCase& p : kPrograms) {
        SCOPED_TRACE(p.name);
        std::string out, err;
        Child help({p.path, "--help"});
        EXPECT_EQ(help.finish(&out, &err), 0);
        EXPECT_EQ(out.rfind("usage: ", 0), 0u) << out;
        EXPECT_NE(out.find(p.mustSay), std::string::npos) << out;
        EXPECT_EQ(err, "");

        Child wrong({p.path, "--no-such-option"});
        EXPECT_EQ(wrong.finish(&out, &err), 2);
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find("usage: "), std::string::npos) << err;
    }
}

TEST(ToolHelp, StandinListsEveryCommandAndThePeerKnowsEachOneListed)
{
    std::string help, err;
    Child h({VORX_LABELMGR_STANDIN_PROGRAM, "--help"});
    ASSERT_EQ(h.finish(&help, &err), 0);
    std::vector<std::string> verbs = helpVerbs(help);
    EXPECT_EQ(std::set<std::string>(verbs.begin(), verbs.end()),
              (std::set<std::string>{"reply", "error", "delay", "forget", "calls", "clear", "has-owner", "quit"}))
        << help;

    vorxtest::PrivateSystemBus bus;
    std::string why;
    ASSERT_TRUE(bus.start(&why)) << why;
    Child peer({VORX_LABELMGR_STANDIN_PROGRAM, "--peer", "--address", bus.address()});
    ASSERT_EQ(peer.line().rfind("ready :", 0), 0u);
    for (const std::string& verb : verbs) {
        if (verb == "quit") continue;
        ASSERT_TRUE(peer.send(verb));
        std::string answer = peer.line();
        if (verb == "calls") {
            EXPECT_EQ(answer, "end");
        } else {
            EXPECT_TRUE(answer.rfind("ok", 0) == 0 || answer.rfind("err ", 0) == 0) << verb << ": " << answer;
            EXPECT_NE(answer, "err unknown command") << verb;
        }
    }
    ASSERT_TRUE(peer.send("no-such-command"));
    EXPECT_EQ(peer.line(), "err unknown command");
    ASSERT_TRUE(peer.send("quit"));
    EXPECT_EQ(peer.line(), "ok");
    EXPECT_EQ(peer.exitStatus(10000), 0);
}

// The input stays open: the bus must go because of "quit", not because the
// test looks gone.
TEST(StandinQuit, StopsTheBusNamedByBusPidAndRemovesItsDirectory)
{
    for (const char* mode : {"--peer", "--control"}) {
        SCOPED_TRACE(mode);
        vorxtest::PrivateSystemBus bus;
        std::string why;
        ASSERT_TRUE(bus.start(&why)) << why;
        pid_t busPid = bus.pid();
        std::string dir = bus.dir();
        Child peer({VORX_LABELMGR_STANDIN_PROGRAM, mode, "--address", bus.address(), "--bus-pid",
                    std::to_string(busPid), "--bus-dir", dir});
        ASSERT_EQ(peer.line().rfind("ready :", 0), 0u);
        ASSERT_TRUE(peer.send("quit"));
        EXPECT_EQ(peer.line(), "ok");
        EXPECT_EQ(peer.exitStatus(10000), 0);
        EXPECT_TRUE(vorxtest::goneWithin(busPid, dir, 5000)) << "bus " << busPid << " or " << dir << " left";
    }
}

TEST(StandinQuit, WithoutBusPidTheBusStays)
{
    vorxtest::PrivateSystemBus bus;
    std::string why;
    ASSERT_TRUE(bus.start(&why)) << why;
    Child peer({VORX_LABELMGR_STANDIN_PROGRAM, "--peer", "--address", bus.address()});
    ASSERT_EQ(peer.line().rfind("ready :", 0), 0u);
    ASSERT_TRUE(peer.send("quit"));
    EXPECT_EQ(peer.line(), "ok");
    EXPECT_EQ(peer.exitStatus(10000), 0);
    EXPECT_FALSE(vorxtest::processGone(bus.pid()));
}

}  // namespace
