// Client calls per second through getPkgId against the stand-in service on a
// private system bus, beside a raw-libdbus baseline that makes the same bus
// traffic per call (private connection with Hello, two AddMatch, the call,
// two RemoveMatch, close); also from 16 threads at once beside 16 processes
// at once, which share no lock of the library's or libdbus's. Also the heap
// that stays allocated per call.
#include <vorxlabelmgr/labelmgr_client.h>

#include <benchmark/benchmark.h>
#include <dbus/dbus.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "heap_probe.h"
#include "private_bus.h"

namespace {

const char kRule1[] =
    "type='signal',interface='com.tarne.vorx.labelmgr',path='/org/freedesktop/DBus/tarne/vorx/labelmgr'";
const char kRule2[] =
    "type='signal',interface='org.freedesktop.DBus.Introspectable',path='/org/freedesktop/DBus/tarne/vorx/labelmgr'";

// One getPkgId's worth of bus traffic in plain libdbus.
bool rawGetPkgId(const char* name, uint64_t* id)
{
    DBusError err;
    dbus_error_init(&err);
    DBusConnection* conn = dbus_bus_get_private(DBUS_BUS_SYSTEM, &err);
    if (!conn) {
        dbus_error_free(&err);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(conn, FALSE);
    bool ok = false;
    dbus_bus_add_match(conn, kRule1, &err);
    if (!dbus_error_is_set(&err)) dbus_bus_add_match(conn, kRule2, &err);
    if (!dbus_error_is_set(&err)) {
        DBusMessage* call =
            dbus_message_new_method_call("com.tarne.vorx.labelmgr", "/org/freedesktop/DBus/tarne/vorx/labelmgr",
                                         "com.tarne.vorx.labelmgr", "getPkgId");
        if (call && dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
            DBusMessage* reply = dbus_connection_send_with_reply_and_block(conn, call, 180000, &err);
            if (reply) {
                dbus_uint64_t v = 0;
                ok = dbus_message_get_args(reply, &err, DBUS_TYPE_UINT64, &v, DBUS_TYPE_INVALID);
                *id = v;
                dbus_message_unref(reply);
            }
        }
        if (call) dbus_message_unref(call);
        // Blocking, as the binding removes its rules.
        dbus_error_free(&err);
        dbus_bus_remove_match(conn, kRule1, &err);
        dbus_error_free(&err);
        dbus_bus_remove_match(conn, kRule2, &err);
    }
    dbus_error_free(&err);
    dbus_connection_close(conn);
    dbus_connection_unref(conn);
    return ok;
}

using vorxtest::heapInUse;

// Runs one call per iteration, then reports the heap left per call.
template <typename Call>
void callsWithHeap(benchmark::State& state, Call call, const char* failure)
{
    size_t before = heapInUse();
    for (auto _ : state) {
        if (!call()) {
            state.SkipWithError(failure);
            break;
        }
    }
    size_t after = heapInUse();
    state.SetItemsProcessed(state.iterations());
    state.counters["heap_bytes_per_call"] =
        static_cast<double>(after > before ? after - before : 0) / static_cast<double>(state.iterations());
}

void BM_Library_getPkgId(benchmark::State& state)
{
    uint64_t id = 0;
    callsWithHeap(
        state, [&] { return getPkgId("bench.pkg", &id) == 0; }, "getPkgId failed");
}

void BM_RawLibdbus_getPkgId(benchmark::State& state)
{
    uint64_t id = 0;
    callsWithHeap(
        state, [&] { return rawGetPkgId("bench.pkg", &id); }, "raw call failed");
}

// The same from many threads at once: what the frame's lock lets overlap.
void BM_Library_getPkgId_Threads(benchmark::State& state)
{
    uint64_t id = 0;
    size_t before = state.thread_index() == 0 ? heapInUse() : 0;
    for (auto _ : state) {
        if (getPkgId("bench.pkg", &id) != 0) {
            state.SkipWithError("getPkgId failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        size_t after = heapInUse();
        state.counters["heap_bytes_per_call"] = benchmark::Counter(
            static_cast<double>(after > before ? after - before : 0) / static_cast<double>(state.iterations()),
            benchmark::Counter::kAvgThreads);
    }
}

// The same number of callers as processes: what the threads should approach.
void BM_Library_getPkgId_Processes(benchmark::State& state)
{
    const int processes = static_cast<int>(state.range(0));
    const int callsEach = 50;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::vector<pid_t> children;
        for (int i = 0; i < processes; ++i) {
            pid_t pid = fork();
            if (pid == 0) {
                uint64_t id = 0;
                for (int c = 0; c < callsEach; ++c)
                    if (getPkgId("bench.pkg", &id) != 0) _exit(1);
                _exit(0);
            }
            if (pid > 0) children.push_back(pid);
        }
        bool ok = static_cast<int>(children.size()) == processes;
        for (pid_t pid : children) {
            int status = 0;
            if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ok = false;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!ok) {
            state.SkipWithError("a calling process failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * processes * callsEach);
}

BENCHMARK(BM_RawLibdbus_getPkgId)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Library_getPkgId)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Library_getPkgId_Threads)->Threads(16)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Library_getPkgId_Processes)->Arg(16)->UseManualTime()->MinTime(2.0);

// Console output plus, at the end, the library / baseline ratio and the calls
// of 16 threads against those of 16 processes.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            perCall_[r.benchmark_name()] = r.GetAdjustedRealTime();
            auto rate = r.counters.find("items_per_second");
            if (rate != r.counters.end()) callsPerSecond_[r.benchmark_name()] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        double lib = 0, raw = 0;
        for (const auto& kv : perCall_) {
            if (kv.first.find("BM_Library_getPkgId/") == 0 || kv.first == "BM_Library_getPkgId") lib = kv.second;
            if (kv.first.find("BM_RawLibdbus") == 0) raw = kv.second;
        }
        if (lib > 0 && raw > 0)
            std::printf("library %.0f calls/s, raw libdbus %.0f calls/s: the library takes %.3fx the baseline's time\n",
                        1e9 / lib, 1e9 / raw, lib / raw);
        double threads = 0, processes = 0;
        for (const auto& kv : callsPerSecond_) {
            if (kv.first.find("BM_Library_getPkgId_Threads") == 0) threads = kv.second;
            if (kv.first.find("BM_Library_getPkgId_Processes") == 0) processes = kv.second;
        }
        if (threads > 0 && processes > 0)
            std::printf(
                "16 threads %.0f calls/s, 16 processes %.0f calls/s: threads make %.2fx the calls of processes\n",
                threads, processes, threads / processes);
    }

private:
    std::map<std::string, double> perCall_;
    std::map<std::string, double> callsPerSecond_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    unsetenv("DBUSXX_VERBOSE");
    vorxtest::PrivateSystemBus bus;
    vorxtest::LabelMgrPeer service;
    std::string why;
    if (!bus.start(&why)) {
        std::fprintf(stderr, "private system bus: %s\n", why.c_str());
        return 1;
    }
    bus.exportAddress();
    if (!service.start(vorxtest::LabelMgrPeer::Mode::Service, bus, &why, {"--pkg", "bench.pkg=42"})) {
        std::fprintf(stderr, "stand-in service: %s\n", why.c_str());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
