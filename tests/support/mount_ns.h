#ifndef VORX_TEST_MOUNT_NS_H
#define VORX_TEST_MOUNT_NS_H

#include <string>

// Tests that need the system's fixed paths ("/etc/vorx/...", "/var/log/vorx",
// "/tmp/...", "/proc") never touch the host's: they run in a private mount
// namespace where those places are fresh tmpfs mounts.
namespace vorxtest {

// Once per process: unshare the mount namespace, make every mount private and
// put a fresh tmpfs over /tmp (the host's directories under /tmp are bound
// back in, so a build tree there stays reachable). Call it before the process starts threads or
// creates anything under /tmp. False with the reason when it cannot be done
// (not root, no CAP_SYS_ADMIN, no namespaces).
bool enterPrivateMountNamespace(std::string* why);

// An empty, writable tmpfs at `path` inside the namespace. A missing path is
// made inside an overlay of its nearest existing ancestor, so the host's tree
// gains nothing. Requires enterPrivateMountNamespace() first.
bool privateDir(const std::string& path, std::string* why);

// mkdir -p with mode 0755: true when every component exists afterwards.
bool makeDirs(const std::string& path);

}  // namespace vorxtest

// In a GoogleTest body or SetUp: skip, saying `what` and the reason, unless
// ready(&why) succeeds.
#define VORX_SKIP_UNLESS(ready, what)                                          \
    do {                                                                       \
        std::string vorx_why_;                                                 \
        if (!(ready)(&vorx_why_)) GTEST_SKIP() << (what) << ": " << vorx_why_; \
    } while (0)

#define VORX_REQUIRE_MOUNT_NS() VORX_SKIP_UNLESS(::vorxtest::enterPrivateMountNamespace, "no private mount namespace")

#endif
