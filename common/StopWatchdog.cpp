#include "StopWatchdog.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "OutputFile.h"
#include "StopSignals.h"

namespace duskmere {

namespace {

// Long enough for an answering server and an ordinary exit; short enough to end within a second.
constexpr auto grace = std::chrono::milliseconds(450);

std::mutex lock;
StopWatchdog::Finisher finisherFunction = nullptr;
void* finisherContext = nullptr;
std::atomic<int> status{0};

void watch() {
    StopSignals::waitForRequest();
    std::this_thread::sleep_for(grace);
    // The main thread is stuck (in the display library, as nothing else blocks it) or about to end anyway: either
    // way the lock means the picture is whole.
    lock.lock();
    if (finisherFunction) finisherFunction(finisherContext);
    discardPendingOutputFile();  // none should be left, but never a hidden half-written file
    StopSignals::exitAsRequested(status.load());
}

}  // namespace

void StopWatchdog::start() { std::thread(watch).detach(); }

std::mutex& StopWatchdog::pictureLock() { return lock; }

void StopWatchdog::setFinisher(Finisher finisher, void* context) {
    const std::lock_guard<std::mutex> held(lock);
    finisherFunction = finisher;
    finisherContext = context;
}

void StopWatchdog::noteStatus(int s) {
    if (s != 0) status.store(s);
}

}  // namespace duskmere
