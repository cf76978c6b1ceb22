// duskmere-render: runs a scene without a display, for previews, tests, videos and bug reports.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "CairoRenderHost.h"
#include "OutputFile.h"
#include "RenderOptions.h"
#include "RenderRun.h"
#include "Version.h"

namespace {

// A stop signal during a PNG write would leave the hidden temporary file behind.
extern "C" void stopOnSignal(int signal) {
    duskmere::discardPendingOutputFile();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const duskmere::ParsedRenderOptions parsed = duskmere::parseRenderOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "duskmere-render: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help || parsed.options.version) {
        if (parsed.options.help)
            std::fputs(duskmere::renderUsage, stdout);
        else
            std::puts("duskmere-render " DUSKMERE_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    struct sigaction stop {};
    stop.sa_handler = stopOnSignal;
    sigemptyset(&stop.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &stop, nullptr);
    // A reader that closes the pipe shows up as EPIPE on the next write, which ends the run.
    signal(SIGPIPE, SIG_IGN);

    duskmere::CairoRenderHost host;
    const duskmere::RenderStreams streams{stdout, stderr, isatty(STDOUT_FILENO) == 1, isatty(STDERR_FILENO) == 1};
    try {
        return duskmere::runRender(parsed.options, host, streams);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "duskmere-render: out of memory for a %lldx%lld scene\n",
                     static_cast<long long>(parsed.options.width), static_cast<long long>(parsed.options.height));
        return 1;
    }
}
