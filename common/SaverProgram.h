#pragma once

#include <string>
#include <vector>

#include "ArgumentCursor.h"
#include "SaverRunOptions.h"
#include "StopSignals.h"
#include "StopWatchdog.h"

namespace duskmere {

// What a Linux saver's main says of itself.
struct SaverProgram {
    const char* name;          // the program, at the start of every line it prints
    const char* usage;         // the text of --help
    const char* noPictureYet;  // why a stop before the host knows its picture leaves no capture
};

// What every Linux saver does once its options are parsed: a bad option (one line, status 2),
// --help, --version and a capture path that cannot be written end it here, and the status is
// returned; else -1, and from here a stop before the host knows its picture says so (status 1).
int startSaver(const SaverProgram& program, const std::string& error, const SaverRunOptions& options);

// The main of a Linux saver: the stop handlers before anything else, so that a stop request at any
// moment ends the program in order; its options; then `runHost(options)`, whose status is the
// program's. The host calls endIfStopped before it lets go of its display connection.
template <class Options, class RunHost>
int saverMain(const SaverProgram& program, int argc, char** argv,
              Parsed<Options> (*parse)(const std::vector<std::string>&), RunHost runHost) {
    StopSignals::install();
    StopWatchdog::start();
    const Parsed<Options> parsed = parse(std::vector<std::string>(argv + 1, argv + argc));
    if (const int status = startSaver(program, parsed.error, parsed.options); status >= 0) return status;
    return runHost(parsed.options);
}

// After a stop signal, ends the program now with `status` (StopSignals::exitAsRequested): letting
// go of a display connection waits for the server, which may not be answering, and the system
// closes the connection anyway.
void endIfStopped(int status);

}  // namespace duskmere
