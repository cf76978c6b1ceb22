#include "FpsMeter.h"

#include <time.h>

namespace duskmere {

int64_t processCpuNanos() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void FpsMeter::restart(int64_t now) {
    windowStart_ = now;
    cpuStart_ = processCpuNanos();
    frames_ = 0;
}

bool FpsMeter::frameShown(int64_t now) {
    if (windowStart_ < 0) restart(now);
    ++frames_;
    const int64_t elapsed = now - windowStart_;
    if (elapsed < 1000000000) return false;
    const int64_t cpu = processCpuNanos() - cpuStart_;
    const double seconds = static_cast<double>(elapsed) / 1e9;
    framesPerSecond_ = static_cast<double>(frames_) / seconds;
    loadPercent_ = 100.0 * static_cast<double>(cpu) / static_cast<double>(elapsed);
    std::fprintf(out_, "%s: %.1f fps, %.2f ms CPU per frame, %.1f%% of one core\n", program_, framesPerSecond_,
                 static_cast<double>(cpu) / 1e6 / static_cast<double>(frames_), loadPercent_);
    std::fflush(out_);
    restart(now);
    return true;
}

}  // namespace duskmere
