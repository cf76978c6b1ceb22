#include "SaverProgram.h"

#include <cstdio>

#include "OutputFile.h"
#include "Version.h"

namespace duskmere {

namespace {

void noPictureYet(void* program) {
    const auto* p = static_cast<const SaverProgram*>(program);
    std::fprintf(stderr, "%s: %s; no capture written\n", p->name, p->noPictureYet);
    StopWatchdog::noteStatus(1);
}

}  // namespace

int startSaver(const SaverProgram& program, const std::string& error, const SaverRunOptions& options) {
    if (!error.empty()) {
        std::fprintf(stderr, "%s: %s (see %s --help)\n", program.name, error.c_str(), program.name);
        return 2;
    }
    if (options.help) {
        std::fputs(program.usage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", program.name, DUSKMERE_VERSION);
        return 0;
    }
    if (!options.capture.empty()) {
        // Known before anything is shown, so it is a bad argument like any other.
        std::string unwritable;
        if (!checkOutputPath(options.capture, unwritable)) {
            std::fprintf(stderr, "%s: %s\n", program.name, unwritable.c_str());
            return 2;
        }
        StopWatchdog::setFinisher(noPictureYet, const_cast<SaverProgram*>(&program));
    }
    return -1;
}

void endIfStopped(int status) {
    if (!StopSignals::requested()) return;
    std::fflush(stdout);
    std::fflush(stderr);
    StopSignals::exitAsRequested(status);
}

}  // namespace duskmere
