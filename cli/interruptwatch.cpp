#include "interruptwatch.h"

#include "clioptions.h"

#include <tempregistry.h>

#include <unistd.h>

namespace {

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<std::atomic<int> *>::is_always_lock_free,
              "a signal handler may only use lock-free atomics");

std::atomic<int> interruptSeen{0};
std::atomic<std::atomic<int> *> runningStopFlag{nullptr};

extern "C" void onInterrupt(int)
{
    // The second signal: the user will not wait for the clean-up. What is being written goes
    // with the process.
    if (interruptSeen.exchange(1)) {
        TempRegistry::removeAll();
        _exit(ExitCancelled);
    }
    if (std::atomic<int> *flag = runningStopFlag.load())
        flag->store(1);
}

}  // namespace

InterruptWatch::InterruptWatch()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &previous[i]);
}

InterruptWatch::~InterruptWatch()
{
    for (size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &previous[i], nullptr);
}

bool InterruptWatch::interrupted() const { return interruptSeen.load() != 0; }

InterruptWatch::StopFlag::StopFlag(std::atomic<int> &flag)
{
    flag.store(interruptSeen.load());
    runningStopFlag.store(&flag);
    if (interruptSeen.load())
        flag.store(1);
}

InterruptWatch::StopFlag::~StopFlag() { runningStopFlag.store(nullptr); }
