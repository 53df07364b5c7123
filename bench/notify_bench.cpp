// Messages per second received through recvLabelChangeMsg, beside a raw
// libzmq SUB loop on the same publisher. The publisher floods 100-byte bodies
// so that the receiving side is what limits the rate.

#include <vorxlabelmgr/label_notify.h>
#include <vorxlabelmgr/zmq_socket.h>

#include <zmq.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "mount_ns.h"

namespace {

const char kEndpoint[] = "ipc:///tmp/vorx_label_manager.socket";
const char kTopic[] = "label.file";
const size_t kBodySize = 100;

void* gHandle = nullptr;
void* gRawSub = nullptr;

void BM_RecvLabelChangeMsg(benchmark::State& state)
{
    for (auto _ : state) {
        char* body = nullptr;
        if (recvLabelChangeMsg(gHandle, &body) != 0) {
            state.SkipWithError("recvLabelChangeMsg failed");
            break;
        }
        benchmark::DoNotOptimize(body);
        std::free(body);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RawZmqSub(benchmark::State& state)
{
    zmq_msg_t topic, body;
    zmq_msg_init(&topic);
    zmq_msg_init(&body);
    for (auto _ : state) {
        if (zmq_msg_recv(&topic, gRawSub, 0) < 0 || zmq_msg_recv(&body, gRawSub, 0) < 0) {
            state.SkipWithError("zmq_msg_recv failed");
            break;
        }
        benchmark::DoNotOptimize(zmq_msg_data(&body));
    }
    zmq_msg_close(&topic);
    zmq_msg_close(&body);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_RecvLabelChangeMsg)->UseRealTime();
BENCHMARK(BM_RawZmqSub)->UseRealTime();

// Binds the endpoint, waits for both subscribers, then sends until told to
// stop; PUB drops for whichever subscriber is not reading.
void publish(std::atomic<bool>* ready, std::atomic<bool>* stop)
{
    void* ctx = zmq_ctx_new();
    void* pub = zmq_socket(ctx, ZMQ_XPUB);
    int one = 1, linger = 0;
    zmq_setsockopt(pub, ZMQ_XPUB_VERBOSE, &one, sizeof one);
    zmq_setsockopt(pub, ZMQ_LINGER, &linger, sizeof linger);
    if (zmq_bind(pub, kEndpoint) != 0) {
        std::fprintf(stderr, "bind %s: %s\n", kEndpoint, zmq_strerror(errno));
        std::exit(1);
    }
    ready->store(true);
    for (int seen = 0; seen < 2;) {
        char buf[64];
        if (zmq_recv(pub, buf, sizeof buf, 0) > 0 && buf[0] == 1) ++seen;
    }
    const std::string body(kBodySize, 'b');
    while (!stop->load(std::memory_order_relaxed)) {
        zmq_send(pub, kTopic, sizeof kTopic - 1, ZMQ_SNDMORE);
        zmq_send(pub, body.data(), body.size(), 0);
    }
    zmq_close(pub);
    zmq_ctx_term(ctx);
}

}  // namespace

int main(int argc, char** argv)
{
    // The endpoint is fixed under /tmp: take a private one, never the host's.
    std::string why;
    if (!vorxtest::enterPrivateMountNamespace(&why)) {
        std::fprintf(stderr, "notify_bench: no private mount namespace: %s\n", why.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::atomic<bool> ready{false}, stop{false};
    std::thread publisher(publish, &ready, &stop);
    while (!ready.load()) std::this_thread::yield();

    gHandle = createSubscriber();
    if (subscribeLabelChangeMsg(gHandle, kTopic) != 0) return 1;
    void* rawCtx = zmq_ctx_new();
    gRawSub = zmq_socket(rawCtx, ZMQ_SUB);
    int linger = 0;
    zmq_setsockopt(gRawSub, ZMQ_LINGER, &linger, sizeof linger);
    if (zmq_connect(gRawSub, kEndpoint) != 0 || zmq_setsockopt(gRawSub, ZMQ_SUBSCRIBE, kTopic, sizeof kTopic - 1) != 0)
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    stop.store(true);
    publisher.join();
    zmq_close(gRawSub);
    zmq_ctx_term(rawCtx);
    delete static_cast<ZMQSocket*>(gHandle);
    return 0;
}
