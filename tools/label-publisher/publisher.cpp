// vorx-label-publisher: binds the label-change endpoint and publishes each
// TOPIC BODY pair as one message of two frames, topic then body.

#include <errno.h>
#include <getopt.h>
#include <time.h>
#include <unistd.h>
#include <zmq.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kDefaultEndpoint[] = "ipc:///tmp/vorx_label_manager.socket";

void usage(std::ostream& out)
{
    out << "usage: vorx-label-publisher [-e ENDPOINT] [-d DELAY_MS] [-n COUNT] [-i INTERVAL_MS] [TOPIC BODY]...\n"
           "       vorx-label-publisher -h | --help\n"
           "Stand-in for the label-change publisher, for tests and examples.\n"
           "  -e ENDPOINT     bind this ZeroMQ endpoint; the default is the one the library\n"
           "                  subscribes to, "
        << kDefaultEndpoint
        << "\n"
           "  -d DELAY_MS     wait this long for subscribers to join before sending (default 500)\n"
           "  -n COUNT        send the pairs COUNT rounds (default 1, 0 = until killed)\n"
           "  -i INTERVAL_MS  pause between rounds (default 0)\n"
           "  -h, --help      this text\n"
           "Each TOPIC BODY pair is one message of two frames, topic then body. Without\n"
           "pairs, sends one message per line \"TOPIC BODY\" read from standard input.\n"
           "Binding the default endpoint takes it over from a publisher already there: run\n"
           "it in a private mount namespace with a tmpfs over /tmp (unshare -rm, then\n"
           "mount -t tmpfs tmpfs /tmp), never beside a live one.\n";
}

bool number(const char* text, long* out)
{
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0) return false;
    *out = v;
    return true;
}

void sleepMs(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

bool sendFrame(void* sock, const std::string& data, int flags)
{
    for (;;) {
        if (zmq_send(sock, data.data(), data.size(), flags) >= 0) return true;
        if (errno != EINTR) {
            std::cerr << "vorx-label-publisher: send: " << zmq_strerror(errno) << "\n";
            return false;
        }
    }
}

bool publish(void* sock, const std::string& topic, const std::string& body)
{
    return sendFrame(sock, topic, ZMQ_SNDMORE) && sendFrame(sock, body, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string endpoint = kDefaultEndpoint;
    long delayMs = 500, count = 1, intervalMs = 0;
    static const struct option kLong[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
    int opt;
    while ((opt = getopt_long(argc, argv, "e:d:n:i:h", kLong, nullptr)) != -1) {
        switch (opt) {
        case 'e':
            endpoint = optarg;
            break;
        case 'd':
            if (!number(optarg, &delayMs)) {
                usage(std::cerr);
                return 2;
            }
            break;
        case 'n':
            if (!number(optarg, &count)) {
                usage(std::cerr);
                return 2;
            }
            break;
        case 'i':
            if (!number(optarg, &intervalMs)) {
                usage(std::cerr);
                return 2;
            }
            break;
        case 'h':
            usage(std::cout);
            return std::cout.flush() ? 0 : 1;
        default:
            usage(std::cerr);
            return 2;
        }
    }
    if ((argc - optind) % 2 != 0) {
        usage(std::cerr);
        return 2;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = optind; i < argc; i += 2) pairs.emplace_back(argv[i], argv[i + 1]);

    void* ctx = zmq_ctx_new();
    void* sock = ctx ? zmq_socket(ctx, ZMQ_PUB) : nullptr;
    if (!sock) {
        std::cerr << "vorx-label-publisher: " << zmq_strerror(errno) << "\n";
        return 1;
    }
    if (zmq_bind(sock, endpoint.c_str()) != 0) {
        std::cerr << "vorx-label-publisher: cannot bind " << endpoint << ": " << zmq_strerror(errno) << "\n";
        zmq_close(sock);
        zmq_ctx_destroy(ctx);
        return 1;
    }
    // Subscribers that connect now miss what is sent before they have joined.
    sleepMs(delayMs);

    bool ok = true;
    if (pairs.empty()) {
        std::string line;
        while (ok && std::getline(std::cin, line)) {
            size_t sp = line.find(' ');
            ok = sp == std::string::npos ? publish(sock, line, "")
                                         : publish(sock, line.substr(0, sp), line.substr(sp + 1));
        }
    } else {
        for (long round = 0; ok && (count == 0 || round < count); ++round) {
            if (round > 0) sleepMs(intervalMs);
            for (size_t i = 0; ok && i < pairs.size(); ++i) ok = publish(sock, pairs[i].first, pairs[i].second);
        }
    }
    // Default linger: what was queued still goes out before the exit.
    zmq_close(sock);
    zmq_ctx_destroy(ctx);
    return ok ? 0 : 1;
}
