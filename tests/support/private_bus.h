#ifndef VORX_TEST_PRIVATE_BUS_H
#define VORX_TEST_PRIVATE_BUS_H

// A private system bus per test process, with the label-manager stand-in or
// the scriptable test peer on it.
//
// Typical use (each TEST runs as its own ctest process, so each gets its own
// bus; libdbus reads DBUS_SYSTEM_BUS_ADDRESS once per process, which the
// fixture sets before anything connects):
//
//   class GetFileOid : public vorxtest::LabelMgrPeerTest {};
//
//   TEST_F(GetFileOid, SendsPathAndReadsDictionary) {
//       ASSERT_TRUE(peer.reply("getFileOid", "a{st}",
//                              R"({"pkg_id": 1, "file_id": 2, "path_id": 3})"));
//       VORX_ID id{};
//       EXPECT_EQ(getFileOid("/a", &id), 0);
//       auto calls = peer.calls();
//       ASSERT_EQ(calls.size(), 1u);
//       EXPECT_EQ(calls[0].member, "getFileOid");
//       EXPECT_EQ(calls[0].signature, "s");
//       EXPECT_EQ(calls[0].body, R"("/a")");
//   }
//
// The value text (answers scripted and bodies recorded):
//   - integers in decimal (0x... hex accepted on input), true / false,
//     doubles; the signature decides the D-Bus type, so "t" with 5 is a
//     uint64 5 and "i" with -1 an int32 -1;
//   - strings in double quotes with \\ \" \n \t and \xHH escapes (the
//     peer refuses to send text that is not UTF-8: libdbus cannot);
//   - arrays [v, v], dictionaries {k: v, k: v} (entries go on the wire in
//     the order written, repeats allowed), structs (v, v), variants <sig v>;
//   - several top-level arguments separated by ", ", matching a
//     multi-argument signature: reply("getPkgIds", "ati", "[1, 2], 0").
//   The recorded body uses exactly this form: top-level arguments joined by
//   ", ", dictionaries as {k: v, ...} in wire order, strings quoted. An empty
//   body is "" (and its signature "").
//
// A test program using the peer should depend on it being built:
//   add_dependencies(<test target> labelmgr-standin)
// The program is found next to the test in the build tree (or through
// VORX_LABELMGR_STANDIN).
//
// Wrong types, missing or extra arguments are just another signature:
// reply("getPkgId", "s", R"("oops")"), reply("getPkgId", "-", "") (no
// argument at all), reply("getPkgId", "tt", "1, 2").

#include <sys/types.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorxtest {

// A dbus-daemon of type system, with an allow-all policy and its socket in a
// fresh temporary directory. stop() (or the destructor) ends it and removes
// the directory.
class PrivateSystemBus {
public:
    PrivateSystemBus() = default;
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // Starts the daemon. `extraConfig` is inserted in its <busconfig>, e.g.
    // R"(<limit name="max_match_rules_per_connection">1</limit>)". Does not
    // touch the environment (see exportAddress()).
    bool start(std::string* why, const std::string& extraConfig = "");
    // Points DBUS_SYSTEM_BUS_ADDRESS at this bus for this process and the
    // programs it starts afterwards.
    void exportAddress() const;
    void stop();

    const std::string& address() const { return address_; }
    pid_t pid() const { return pid_; }
    // The temporary directory holding the config and socket ("" when stopped).
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::string address_;
    pid_t pid_ = -1;
};

// One call the peer received, every field as the peer saw it on the wire.
struct PeerCall {
    std::string sender;     // unique name of the caller's connection, ":1.5"
    std::string path;       // object path
    std::string interface;  // interface header field
    std::string member;
    std::string signature;  // body signature, "" for an empty body
    std::string body;       // arguments in wire order, in the text form above
};

// The label-manager stand-in as a child process. It owns
// "com.tarne.vorx.labelmgr" before start() returns, and exits (taking the bus
// daemon with it) if the test process dies.
class LabelMgrPeer {
public:
    enum class Mode {
        Scripted,  // answers only what the test scripted; records every call
        Service,   // the stateful stand-in service (set, then get or show)
    };

    LabelMgrPeer() = default;
    ~LabelMgrPeer();
    LabelMgrPeer(const LabelMgrPeer&) = delete;
    LabelMgrPeer& operator=(const LabelMgrPeer&) = delete;

    // `extraArgs` go to the program, e.g. {"--pkg", "name=42"} to start the
    // service with a user-set package id.
    bool start(Mode mode, const PrivateSystemBus& bus, std::string* why,
               const std::vector<std::string>& extraArgs = {});
    // Ends the peer; afterwards nobody owns the service name.
    void stop();
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // The peer's unique name on the bus.
    const std::string& uniqueName() const { return uniqueName_; }

    // Scripted mode. Each setting holds for every later call of `member`
    // until changed. An unscripted member is answered with the error
    // "org.freedesktop.DBus.Error.UnknownMethod" / "no answer scripted for
    // <member>". The result fails with the peer's reason when the values do
    // not fit the signature.
    //
    // Answer with these arguments; signature "-" (or "") for none.
    ::testing::AssertionResult reply(const std::string& member, const std::string& signature,
                                     const std::string& values);
    // Answer with the D-Bus error `name` carrying `message`.
    ::testing::AssertionResult error(const std::string& member, const std::string& name, const std::string& message);
    // Hold the answer `ms` before sending it; other calls and commands are
    // answered meanwhile.
    ::testing::AssertionResult delay(const std::string& member, int ms);
    // Drop whatever was scripted for `member`.
    ::testing::AssertionResult forget(const std::string& member);

    // Both modes: every method call received since start or clearCalls(), in
    // arrival order. Calls to other paths or interfaces (e.g. Introspect) are
    // recorded too, and answered with UnknownMethod.
    std::vector<PeerCall> calls();
    ::testing::AssertionResult clearCalls();
    // Whether `busName` has an owner on the bus (false also when the query
    // fails): a closed connection's unique name has none.
    bool hasOwner(const std::string& busName);

private:
    // Sends one command line, returns the answer lines up to and including the
    // first "ok..."/"err..."/"end" line.
    bool transact(const std::string& line, std::vector<std::string>* answer, std::string* why);
    ::testing::AssertionResult simple(const std::string& line);

    pid_t pid_ = -1;
    int toPeer_ = -1;
    int fromPeer_ = -1;
    std::string buffered_;
    std::string uniqueName_;
};

// Path of the labelmgr-standin program of this build tree (or the
// VORX_LABELMGR_STANDIN environment variable), "" when not found.
std::string standinProgram();

// Fixture: a fresh private system bus exported as DBUS_SYSTEM_BUS_ADDRESS, the
// scripted peer on it as `peer`, DBUSXX_VERBOSE unset. Everything is stopped
// in TearDown. Override extraBusConfig() for daemon limits.
class LabelMgrPeerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual LabelMgrPeer::Mode peerMode() const { return LabelMgrPeer::Mode::Scripted; }
    virtual std::string extraBusConfig() const { return ""; }
    // Given to the peer program, e.g. {"--pkg", "name=42"}.
    virtual std::vector<std::string> peerArgs() const { return {}; }

    PrivateSystemBus bus;
    LabelMgrPeer peer;
};

// The same with the stateful stand-in service as `peer`.
class LabelMgrServiceTest : public LabelMgrPeerTest {
protected:
    LabelMgrPeer::Mode peerMode() const override { return LabelMgrPeer::Mode::Service; }
};

}  // namespace vorxtest

#endif
