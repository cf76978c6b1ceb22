#pragma once

namespace duskmere {

// SIGTERM (how a screen-saver host stops its hack), SIGINT and SIGHUP end the program cleanly
// with status 0; under XScreenSaver a SIGTERM ends it by that signal, as the daemon expects. The
// handler only notes the signal and wakes the main loop through a pipe, so a signal at any moment,
// even before the display is open, leads to the same orderly exit.
class StopSignals {
public:
    // Installs the handlers (and ignores SIGPIPE, which a vanished display server would otherwise raise).
    static bool install();
    static bool requested();
    // Ends the process after a stop request: with `status`, or, when XScreenSaver started us and
    // sent SIGTERM, by SIGTERM itself. Never returns.
    [[noreturn]] static void exitAsRequested(int status);
    // Readable once a stop was requested; for poll().
    static int wakeFd();
    // Blocks the calling thread until a stop is requested (for a thread other than the main one).
    static void waitForRequest();
};

}  // namespace duskmere
