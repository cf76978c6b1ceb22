#pragma once

#include <mutex>

namespace duskmere {

// A stop must end the program within a second, even while the display server does not answer and
// the main thread is stuck inside its client library (a blocked write, a round trip that never
// returns). The main thread cannot be freed from there, so a watchdog thread finishes for it: once
// a stop signal is a little overdue, it takes the picture lock (the main thread holds it only while
// it changes the picture or the scene, never inside the library), runs the registered finisher (which writes the
// capture from the picture held in memory) and ends the process with the status noted so far.
class StopWatchdog {
public:
    // Starts the watchdog thread; call once, after StopSignals::install().
    static void start();

    // Held by the main thread around anything the finisher reads.
    static std::mutex& pictureLock();

    // What to do before ending the process; called with the picture lock held. Null: nothing.
    using Finisher = void (*)(void* context);
    static void setFinisher(Finisher finisher, void* context);

    // The status the process ends with if the watchdog ends it (0 unless a failure was noted).
    static void noteStatus(int status);

    // The end of a host's run: every orderly stop (status 0) leaves the capture, written under the
    // picture lock by writeCapture() (false: it failed, and the status becomes 1); a failed run
    // leaves its error alone. The status is noted before the lock is let go, since the watchdog
    // may take it at once and end the process with the status noted by then; and returned.
    template <class WriteCapture>
    static int finishRun(int status, WriteCapture writeCapture) {
        const std::lock_guard<std::mutex> held(pictureLock());
        if (status == 0 && !writeCapture()) status = 1;
        noteStatus(status);
        return status;
    }
};

}  // namespace duskmere
