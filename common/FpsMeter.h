#pragma once

#include <cstdint>
#include <cstdio>

namespace duskmere {

// The -fps report of the Linux savers: frames shown per second and this process's CPU time per
// frame, measured over windows of about one second and printed once per window as a line that
// begins with the program's name.
class FpsMeter {
public:
    FpsMeter(std::FILE* out, const char* program) : out_(out), program_(program) {}

    // Counts one frame shown at `now` (monotonic nanoseconds); reports when a second has passed,
    // and then returns true with the new figures in framesPerSecond() and loadPercent().
    bool frameShown(int64_t now);
    // Starts a fresh window, e.g. after a pause in which no frames were due.
    void restart(int64_t now);

    double framesPerSecond() const { return framesPerSecond_; }
    // This process's CPU time as a share of one core.
    double loadPercent() const { return loadPercent_; }

private:
    std::FILE* out_;
    const char* program_;
    double framesPerSecond_ = 0;
    double loadPercent_ = 0;
    int64_t windowStart_ = -1;
    int64_t cpuStart_ = 0;
    int64_t frames_ = 0;
};

// This process's CPU time so far, in nanoseconds.
int64_t processCpuNanos();

}  // namespace duskmere
