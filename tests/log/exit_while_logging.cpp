// A second thread logs without pause while main returns. However exit and the
// records interleave, the process must end with status 0.
#include <vorxlabelmgr/logger.h>

#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

// Not on main's stack, which exit() reuses while the thread still runs.
std::atomic<unsigned> logged{0};

}  // namespace

int main()
{
    alarm(20);  // a hang in exit fails the run instead of stalling the test
    std::thread([] {
        for (;;) {
            Logger::getInstance()->error("record %u", logged.load());
            logged.fetch_add(1);
        }
    }).detach();
    while (logged.load() < 200) sched_yield();
    return 0;
}
