// duskmere-render: runs a scene without a display, for previews, tests, videos and bug reports.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LinuxRenderHost.h"
#include "OutputFile.h"
#include "RenderRun.h"

namespace {

// A stop signal during a PNG write would leave the hidden temporary file behind.
extern "C" void stopOnSignal(int signal) {
    duskmere::discardPendingOutputFile();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// After the options are known good: leave no temporary file behind on a stop signal, and let a
// reader that closes the pipe show up as EPIPE on the next write, which ends the run.
void installStopHandlers() {
    struct sigaction stop {};
    stop.sa_handler = stopOnSignal;
    sigemptyset(&stop.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    duskmere::LinuxRenderHost host;
    const duskmere::RenderStreams streams{stdout, stderr, isatty(STDOUT_FILENO) == 1, isatty(STDERR_FILENO) == 1};
    return duskmere::renderProgram(std::vector<std::string>(argv + 1, argv + argc), host, streams, installStopHandlers);
}
