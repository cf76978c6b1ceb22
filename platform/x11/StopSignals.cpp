#include "StopSignals.h"

#include <errno.h>
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace duskmere {

namespace {

volatile sig_atomic_t stopRequested = 0;
int pipeFds[2] = {-1, -1};
// sem_post is one of the few calls a handler may make; it wakes a thread that waits for a stop.
sem_t stopSemaphore;

void onStopSignal(int) {
    const int saved = errno;
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

int StopSignals::wakeFd() { return pipeFds[0]; }

void StopSignals::waitForRequest() {
    while (sem_wait(&stopSemaphore) != 0) {
    }
}

}  // namespace duskmere
