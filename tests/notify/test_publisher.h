#ifndef VORX_TEST_NOTIFY_PUBLISHER_H
#define VORX_TEST_NOTIFY_PUBLISHER_H

#include <string>
#include <vector>

namespace vorxtest {

extern const char kLabelEndpoint[];

// A real publisher socket (libzmq XPUB, LINGER 0) bound at an endpoint. XPUB
// hands us each new subscription, so a case waits until the subscriber has
// joined instead of guessing how long the slow joiner needs.
class TestPublisher {
public:
    explicit TestPublisher(const std::string& endpoint = kLabelEndpoint);
    ~TestPublisher();
    TestPublisher(const TestPublisher&) = delete;
    TestPublisher& operator=(const TestPublisher&) = delete;

    // Empty when bound, else what failed.
    const std::string& error() const { return error_; }

    // Waits (up to 10 s) until `count` distinct subscriptions have arrived.
    bool awaitSubscriptions(size_t count);

    // One message made of exactly these frames.
    bool send(const std::vector<std::string>& frames);

private:
    void* ctx_ = nullptr;
    void* sock_ = nullptr;
    std::string error_;
};

}  // namespace vorxtest

#endif
