// Stand-in for the label-manager service on a (private) system bus, and the
// scriptable peer that tests use to control answers and read what the
// library sent. `labelmgr-standin --help` says how to drive it; the control
// commands are the rows of Peer::commands(), which both the parser and the
// help text read.

#include <dbus/dbus.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "standin_service.h"
#include "wire_text.h"

#include "write_all.h"

namespace {

struct Script {
    bool hasReply = false;
    std::string signature;
    std::string values;
    bool hasError = false;
    std::string errorName;
    std::string errorMessage;
    int delayMs = 0;
};

struct Call {
    std::string sender, path, interface, member, signature, body;
};

using Clock = std::chrono::steady_clock;

// An answer held back by "delay", sent once it is due.
struct Held {
    Clock::time_point due;
    DBusMessage* reply;
};

volatile sig_atomic_t stopRequested = 0;

void onStop(int)
{
    stopRequested = 1;
}

const char* orEmpty(const char* s)
{
    return s ? s : "";
}

std::string field(const std::string& s)
{
    std::string out;
    for (char c : s) out += (c == '\t' || c == '\n') ? ' ' : c;
    return out;
}

using vorxtool::writeAll;

// Stops the test's bus daemon and removes what its fixture left: config,
// socket, directory.
void stopBus(long pid, const std::string& dir)
{
    if (pid > 0) kill(static_cast<pid_t>(pid), SIGTERM);
    if (dir.empty()) return;
    for (int i = 0; i < 100 && access((dir + "/socket").c_str(), F_OK) == 0; ++i) usleep(10000);
    unlink((dir + "/socket").c_str());
    unlink((dir + "/bus.conf").c_str());
    rmdir(dir.c_str());
}

class Peer {
public:
    Peer(DBusConnection* conn, bool scripted) : conn_(conn), scripted_(scripted) {}
    ~Peer()
    {
        for (Held& h : held_) dbus_message_unref(h.reply);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Milliseconds until the next held answer is due; -1 when none is held.
    int msUntilDue() const
    {
        if (held_.empty()) return -1;
        Clock::time_point next = held_.front().due;
        for (const Held& h : held_) next = std::min(next, h.due);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        return ms <= 0 ? 0 : static_cast<int>(std::min<long long>(ms + 1, INT_MAX));
    }

    // Sends every held answer whose time has come.
    void sendDue()
    {
        Clock::time_point now = Clock::now();
        bool sent = false;
        for (auto it = held_.begin(); it != held_.end();) {
            if (it->due > now) {
                ++it;
                continue;
            }
            dbus_connection_send(conn_, it->reply, nullptr);
            dbus_message_unref(it->reply);
            it = held_.erase(it);
            sent = true;
        }
        if (sent) dbus_connection_flush(conn_);
    }

    void handle(DBusMessage* msg)
    {
        if (dbus_message_get_type(msg) != DBUS_MESSAGE_TYPE_METHOD_CALL) return;
        Call c;
        c.sender = orEmpty(dbus_message_get_sender(msg));
        c.path = orEmpty(dbus_message_get_path(msg));
        c.interface = orEmpty(dbus_message_get_interface(msg));
        c.member = orEmpty(dbus_message_get_member(msg));
        c.signature = orEmpty(dbus_message_get_signature(msg));
        DBusMessageIter it;
        if (dbus_message_iter_init(msg, &it)) c.body = standin::printArgs(&it);
        calls_.push_back(c);

        DBusMessage* reply = nullptr;
        int delayMs = 0;
        bool ours = c.path == standin::kObjectPath && c.interface == standin::kInterface;
        if (!ours) {
            reply = dbus_message_new_error(msg, DBUS_ERROR_UNKNOWN_METHOD, "no such object or interface");
        } else if (scripted_) {
            reply = scriptedAnswer(msg, c.member, &delayMs);
        } else {
            reply = standin::serviceAnswer(msg);
        }
        if (reply == nullptr) return;
        if (dbus_message_get_no_reply(msg)) {
            dbus_message_unref(reply);
            return;
        }
        if (delayMs > 0) {
            held_.push_back(Held{Clock::now() + std::chrono::milliseconds(delayMs), reply});
            return;
        }
        dbus_connection_send(conn_, reply, nullptr);
        dbus_message_unref(reply);
        dbus_connection_flush(conn_);
    }

    // One control command. The parser finds verbs here and --help prints
    // these rows, so what is documented is what is accepted.
    struct Command {
        const char* verb;
        const char* args;
        const char* what;
        const char* answers;
        bool scriptedOnly;
        std::string (Peer::*run)(const std::string& rest);  // null: quit
    };

    static const std::vector<Command>& commands()
    {
        static const std::vector<Command> table = {
            {"reply", "<member> <signature|-> <values>",
             "answer every later call of <member> with these values (\"-\": none)",
             "ok | err <why> (the values do not fit the signature)", true, &Peer::doReply},
            {"error", "<member> <error name> <message>", "answer every later call of <member> with this D-Bus error",
             "ok | err usage: ...", true, &Peer::doError},
            {"delay", "<member> <ms>", "hold the answers to <member> this long; the rest goes on meanwhile", "ok", true,
             &Peer::doDelay},
            {"forget", "<member>", "drop what was scripted for <member>", "ok", true, &Peer::doForget},
            {"calls", "", "the record of method calls received since start or clear, in arrival order",
             "one \"call\" line per call, then \"end\"", false, &Peer::doCalls},
            {"clear", "", "empty the record", "ok", false, &Peer::doClear},
            {"has-owner", "<bus name>", "whether the name has an owner on the bus", "ok yes | ok no | err <why>", false,
             &Peer::doHasOwner},
            {"quit", "", "exit; with --bus-pid also stop that bus daemon (and remove --bus-dir)", "ok", false, nullptr},
        };
        return table;
    }

    // One control line; returns false on "quit".
    bool command(const std::string& line, int out)
    {
        std::string verb = word(line, 0);
        const Command* found = nullptr;
        for (const Command& c : commands())
            if (verb == c.verb) found = &c;
        std::string answer;
        if (found == nullptr) {
            answer = "err unknown command\n";
        } else if (found->scriptedOnly && !scripted_) {
            answer = "err the service answers by its own rules\n";
        } else if (found->run == nullptr) {
            writeAll(out, "ok\n");
            return false;
        } else {
            answer = (this->*found->run)(after(line, 0));
        }
        writeAll(out, answer);
        return true;
    }

private:
    std::string doReply(const std::string& rest)
    {
        std::string member = word(rest, 0);
        std::string sig = word(rest, 1);
        std::string values = after(rest, 1);
        if (member.empty() || sig.empty()) return "err usage: reply <member> <signature|-> <values>\n";
        if (sig == "-") sig.clear();
        std::string why;
        DBusMessage* probe = dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN);
        bool ok = probe && standin::appendArgs(probe, sig, values, &why);
        if (probe) dbus_message_unref(probe);
        if (!ok) return "err " + field(why) + "\n";
        Script& s = scripts_[member];
        s.hasReply = true;
        s.hasError = false;
        s.signature = sig;
        s.values = values;
        return "ok\n";
    }

    std::string doError(const std::string& rest)
    {
        std::string member = word(rest, 0);
        std::string name = word(rest, 1);
        if (member.empty() || !dbus_validate_error_name(name.c_str(), nullptr))
            return "err usage: error <member> <error name> <message>\n";
        Script& s = scripts_[member];
        s.hasError = true;
        s.hasReply = false;
        s.errorName = name;
        s.errorMessage = after(rest, 1);
        return "ok\n";
    }

    std::string doDelay(const std::string& rest)
    {
        scripts_[word(rest, 0)].delayMs = std::atoi(word(rest, 1).c_str());
        return "ok\n";
    }

    std::string doForget(const std::string& rest)
    {
        scripts_.erase(word(rest, 0));
        return "ok\n";
    }

    std::string doCalls(const std::string&)
    {
        std::string text;
        for (const Call& c : calls_) {
            text += "call\t" + field(c.sender) + "\t" + field(c.path) + "\t" + field(c.interface) + "\t" +
                    field(c.member) + "\t" + field(c.signature) + "\t" + field(c.body) + "\n";
        }
        return text + "end\n";
    }

    std::string doClear(const std::string&)
    {
        calls_.clear();
        return "ok\n";
    }

    std::string doHasOwner(const std::string& rest) { return hasOwner(word(rest, 0)); }

    static std::string word(const std::string& s, int n)
    {
        size_t pos = 0;
        for (int i = 0;; ++i) {
            pos = s.find_first_not_of(' ', pos);
            if (pos == std::string::npos) return "";
            size_t end = s.find(' ', pos);
            if (i == n) return s.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            if (end == std::string::npos) return "";
            pos = end;
        }
    }

    // What follows word n, without the blank after it.
    static std::string after(const std::string& s, int n)
    {
        size_t pos = 0;
        for (int i = 0; i <= n; ++i) {
            pos = s.find_first_not_of(' ', pos);
            if (pos == std::string::npos) return "";
            pos = s.find(' ', pos);
            if (pos == std::string::npos) return "";
        }
        return s.substr(pos + 1);
    }

    DBusMessage* scriptedAnswer(DBusMessage* msg, const std::string& member, int* delayMs)
    {
        auto it = scripts_.find(member);
        if (it == scripts_.end() || (!it->second.hasReply && !it->second.hasError)) {
            std::string text = "no answer scripted for " + member;
            return dbus_message_new_error(msg, DBUS_ERROR_UNKNOWN_METHOD, text.c_str());
        }
        const Script& s = it->second;
        *delayMs = s.delayMs;
        if (s.hasError) return dbus_message_new_error(msg, s.errorName.c_str(), s.errorMessage.c_str());
        DBusMessage* reply = dbus_message_new_method_return(msg);
        std::string why;
        if (reply && !standin::appendArgs(reply, s.signature, s.values, &why)) {
            dbus_message_unref(reply);
            return dbus_message_new_error(msg, DBUS_ERROR_FAILED, why.c_str());
        }
        return reply;
    }

    std::string hasOwner(const std::string& name)
    {
        DBusMessage* q =
            dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "NameHasOwner");
        if (!q) return "err out of memory\n";
        const char* n = name.c_str();
        if (!dbus_validate_bus_name(n, nullptr) ||
            !dbus_message_append_args(q, DBUS_TYPE_STRING, &n, DBUS_TYPE_INVALID)) {
            dbus_message_unref(q);
            return "err bad bus name\n";
        }
        DBusError err;
        dbus_error_init(&err);
        DBusMessage* r = dbus_connection_send_with_reply_and_block(conn_, q, 10000, &err);
        dbus_message_unref(q);
        if (!r) {
            std::string out = std::string("err ") + orEmpty(err.message) + "\n";
            dbus_error_free(&err);
            return out;
        }
        dbus_bool_t has = FALSE;
        dbus_message_get_args(r, nullptr, DBUS_TYPE_BOOLEAN, &has, DBUS_TYPE_INVALID);
        dbus_message_unref(r);
        return has ? "ok yes\n" : "ok no\n";
    }

    DBusConnection* conn_;
    bool scripted_;
    std::map<std::string, Script> scripts_;
    std::vector<Call> calls_;
    std::list<Held> held_;
};

const char kUsage[] =
    "usage: labelmgr-standin [--control | --peer] [--address ADDR] [--pkg NAME=ID]...\n"
    "                        [--bus-pid PID [--bus-dir DIR]]\n"
    "       labelmgr-standin --help\n";

std::string helpText()
{
    std::string text = kUsage;
    text += std::string(
                "\n"
                "Stand-in for the label-manager service, for tests and examples on a private\n"
                "system bus. Owns \"") +
            standin::kServiceName + "\",\nserves the interface of that name at \"" + standin::kObjectPath +
            "\",\nand prints \"ready <unique name>\" once the name is owned.\n"
            "\n"
            "Options:\n"
            "  --address ADDR  the bus to serve on (default: $DBUS_SYSTEM_BUS_ADDRESS)\n"
            "  --pkg NAME=ID   start the service with this user-set package id (repeatable)\n"
            "  (neither)       the service, keeping what callers set, until SIGTERM or SIGINT\n"
            "  --control       the service, also reading commands on standard input\n"
            "  --peer          the scriptable peer: answers only what was scripted (other\n"
            "                  members: org.freedesktop.DBus.Error.UnknownMethod \"no answer\n"
            "                  scripted for <member>\"); reads commands on standard input\n"
            "  --bus-pid PID   with commands: at \"quit\" or at the end of standard input\n"
            "                  (the test is gone), also stop (SIGTERM) this bus daemon\n"
            "  --bus-dir DIR   ... and remove its directory (socket, bus.conf)\n"
            "  --help          this text\n"
            "SIGTERM or SIGINT ends the program alone, leaving the bus running.\n"
            "\n"
            "Commands (one a line on standard input, each answered on standard output;\n"
            "any may answer \"err <why>\", an unknown one \"err unknown command\"):\n";
    for (const Peer::Command& c : Peer::commands()) {
        std::string head = std::string("  ") + c.verb + (*c.args ? " " : "") + c.args;
        if (c.scriptedOnly) head += std::string(head.size() < 42 ? 42 - head.size() : 1, ' ') + "(--peer only)";
        text += head + "\n      " + c.what + "\n      answers: " + c.answers + "\n";
    }
    text +=
        "\n"
        "A call line is tab-separated: call, sender, path, interface, member, signature,\n"
        "body. Calls to other paths or interfaces are recorded too and answered with\n"
        "org.freedesktop.DBus.Error.UnknownMethod.\n"
        "\n"
        "Values (scripted answers and recorded bodies); the signature decides the type:\n"
        "  integers (y n q i u x t) in decimal, 0x... hex on input; true / false (b);\n"
        "  doubles (d); strings (s o g) in double quotes with \\\\ \\\" \\n \\t \\xHH escapes,\n"
        "  UTF-8 only; arrays [v, v]; dictionaries {k: v, k: v} (entries in the order\n"
        "  written, repeats allowed); structs (v, v); variants <sig v>. Several\n"
        "  top-level values are separated by \", \": reply getPkgIds ati [1, 2], 0\n";
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    bool scripted = false;
    bool control = false;
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    long busPid = 0;
    std::string busDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--peer") == 0) {
            scripted = true;
            control = true;
        } else if (std::strcmp(argv[i], "--control") == 0) {
            control = true;
        } else if (std::strcmp(argv[i], "--address") == 0 && i + 1 < argc) {
            address = argv[++i];
        } else if (std::strcmp(argv[i], "--pkg") == 0 && i + 1 < argc) {
            if (!standin::seedPackage(argv[++i])) {
                std::fprintf(stderr, "labelmgr-standin: --pkg wants NAME=ID, got %s\n", argv[i]);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--bus-dir") == 0 && i + 1 < argc) {
            busDir = argv[++i];
        } else if (std::strcmp(argv[i], "--bus-pid") == 0 && i + 1 < argc) {
            busPid = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--help") == 0) {
            return writeAll(STDOUT_FILENO, helpText()) ? 0 : 1;
        } else {
            std::fprintf(stderr, "%s(--help says more)\n", kUsage);
            return 2;
        }
    }
    if (address == nullptr || *address == '\0') {
        std::fprintf(stderr, "labelmgr-standin: no bus address (DBUS_SYSTEM_BUS_ADDRESS or --address)\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = onStop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    DBusError err;
    dbus_error_init(&err);
    DBusConnection* conn = dbus_connection_open_private(address, &err);
    if (conn == nullptr || !dbus_bus_register(conn, &err)) {
        std::fprintf(stderr, "labelmgr-standin: cannot connect to %s: %s\n", address, orEmpty(err.message));
        return 1;
    }
    dbus_connection_set_exit_on_disconnect(conn, FALSE);
    int owned = dbus_bus_request_name(conn, standin::kServiceName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &err);
    if (owned != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        std::fprintf(stderr, "labelmgr-standin: cannot own %s: %s\n", standin::kServiceName,
                     dbus_error_is_set(&err) ? err.message : "name taken");
        return 1;
    }
    int busFd = -1;
    if (!dbus_connection_get_unix_fd(conn, &busFd)) {
        std::fprintf(stderr, "labelmgr-standin: connection has no descriptor\n");
        return 1;
    }
    std::string ready = std::string("ready ") + orEmpty(dbus_bus_get_unique_name(conn)) + "\n";
    if (!writeAll(STDOUT_FILENO, ready)) return 1;

    // The stop signals are let in only while waiting, so that one arriving
    // just before the wait still ends it.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);

    Peer peer(conn, scripted);
    std::string pending;
    int status = 0;
    bool running = true;
    while (running && !stopRequested) {
        dbus_connection_read_write(conn, 0);
        // Before popping: flushing may read calls into the queue.
        peer.sendDue();
        while (DBusMessage* msg = dbus_connection_pop_message(conn)) {
            peer.handle(msg);
            dbus_message_unref(msg);
        }
        if (!dbus_connection_get_is_connected(conn)) {
            status = 1;
            break;
        }
        struct pollfd fds[2] = {{busFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        int dueMs = peer.msUntilDue();
        struct timespec due = {dueMs / 1000, (dueMs % 1000) * 1000000L};
        int n = ppoll(fds, control ? 2 : 1, dueMs < 0 ? nullptr : &due, &waitMask);
        if (n < 0) {
            if (errno == EINTR) continue;
            status = 1;
            break;
        }
        if (control && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[4096];
            ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                // The test that drove us is gone.
                stopBus(busPid, busDir);
                break;
            }
            pending.append(buf, static_cast<size_t>(got));
            size_t nl;
            while (running && (nl = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                running = peer.command(line, STDOUT_FILENO);
            }
            if (!running) stopBus(busPid, busDir);
        }
    }
    dbus_connection_close(conn);
    dbus_connection_unref(conn);
    return status;
}
