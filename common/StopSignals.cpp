#include "StopSignals.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>

namespace duskmere {

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t firstSignal = 0;
int pipeFds[2] = {-1, -1};
// sem_post is one of the few calls a handler may make; it wakes a thread that waits for a stop.
sem_t stopSemaphore;

void onStopSignal(int sig) {
    const int saved = errno;
    if (!stopRequested) firstSignal = sig;
    stopRequested = 1;
    if (pipeFds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(pipeFds[1], &byte, 1);
    }
    sem_post(&stopSemaphore);
    errno = saved;
}

}  // namespace

bool StopSignals::install() {
    if (pipeFds[0] < 0) {
        if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
        sem_init(&stopSemaphore, 0, 0);
    }
    struct sigaction action{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

bool StopSignals::requested() { return stopRequested != 0; }

void StopSignals::exitAsRequested(int status) {
    // XScreenSaver treats a hack that exits by itself after SIGTERM as crashed ("exited
    // abnormally"), posts that over the next hack and cycles early. Under it, end as an untrapped
    // SIGTERM would, once the capture is written.
    const char* daemonWindow = std::getenv("XSCREENSAVER_WINDOW");
    if (status == 0 && firstSignal == SIGTERM && daemonWindow && *daemonWindow) {
        signal(SIGTERM, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, SIGTERM);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        raise(SIGTERM);
    }
    _exit(status);
}

int StopSignals::wakeFd() { return pipeFds[0]; }

void StopSignals::waitForRequest() {
    while (sem_wait(&stopSemaphore) != 0) {
    }
}

}  // namespace duskmere
