// vorx-label-listen: subscribes through the library and prints each body it
// receives on its own line (up to its first NUL byte, as a C caller sees it).

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

#include <vorxlabelmgr/label_notify.h>
#include <vorxlabelmgr/zmq_socket.h>

int main(int argc, char** argv)
{
    long count = 0;
    static const struct option kLong[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
    int opt;
    while ((opt = getopt_long(argc, argv, "c:h", kLong, nullptr)) != -1) {
        char* end = nullptr;
        switch (opt) {
        case 'c':
            errno = 0;
            count = std::strtol(optarg, &end, 10);
            if (errno != 0 || *end != '\0' || end == optarg || count < 0) {
                std::cerr << "vorx-label-listen: bad count\n";
                return 2;
            }
            break;
        default:
            (opt == 'h' ? std::cout : std::cerr)
                << "usage: vorx-label-listen [-c COUNT] [TOPIC]...\n"
                   "  Subscribes through the library to the label-change endpoint and prints the\n"
                   "  body of every message whose topic begins with a TOPIC (default: all),\n"
                   "  COUNT messages (default 0 = until killed).\n";
            return opt == 'h' && std::cout.flush() ? 0 : 2;
        }
    }

    void* handle;
    try {
        handle = createSubscriber();
    } catch (const std::exception& e) {
        std::cerr << "vorx-label-listen: " << e.what() << "\n";
        return 1;
    }
    if (optind == argc) {
        if (subscribeLabelChangeMsg(handle, "") != 0) return 1;
    }
    for (int i = optind; i < argc; ++i)
        if (subscribeLabelChangeMsg(handle, argv[i]) != 0) return 1;

    for (long n = 0; count == 0 || n < count; ++n) {
        char* body = nullptr;
        if (recvLabelChangeMsg(handle, &body) != 0) return 1;
        int rc = std::printf("%s\n", body);
        std::free(body);
        if (rc < 0 || std::fflush(stdout) != 0) return 1;
    }
    delete static_cast<ZMQSocket*>(handle);
    return 0;
}
