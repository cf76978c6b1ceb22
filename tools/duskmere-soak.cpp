// duskmere-soak: runs a scene headless for many simulated hours and reports speed and memory,
// to show that a saver left running for days neither slows down nor grows.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "ArgumentCursor.h"
#include "CommandLine.h"
#include "Version.h"
#include "catalog/SceneCatalog.h"

namespace {

using namespace duskmere;

constexpr int64_t framesPerHour = 30 * 60 * 60;

struct SoakOptions {
    std::string scene = "city";
    PixelSize canvas{296, 184};
    uint64_t seed = 1;
    int64_t hours = 24;
    int64_t drawEvery = 1;
    double maxGrowth = -1;  // percent; negative: report only
};

const char* const usage =
    "usage: duskmere-soak [options]\n"
    "Steps the scene for H simulated hours (30 frames a second), drawing every K-th frame, and\n"
    "prints frames per second and resident memory after every simulated hour, then the peak and\n"
    "final resident memory.\n"
    "  --scene NAME        the scene to run (city, campfire; default city)\n"
    "  --canvas WxH        the canvas size, each side 1 to 16384 (default 296x184)\n"
    "  --seed N            64-bit seed, decimal or 0x hex (default 1)\n"
    "  --hours H           simulated hours, 1 to 1000000 (default 24)\n"
    "  --draw-every K      draw every K-th frame, 1 to 1000000 (default 1)\n"
    "  --max-growth PCT    exit 1 when memory grew by more than PCT percent after the first hour,\n"
    "                      0 to 1000 (default: report only)\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "Options may be spelled with one dash or two, and take their value as the next argument or\n"
    "after '=' (--hours=2, -hours 2).\n";

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double peakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

enum class Asked { run, help, version, bad };

Asked parse(int argc, char** argv, SoakOptions& o, std::string& error) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    ArgumentCursor cur(args);
    while (cur.next()) {
        const std::string& n = cur.name();
        const std::string flag = "--" + n;  // messages use the long spelling
        if (cur.isOption() && (n == "help" || n == "h" || n == "version")) {
            if (!cur.hasInlineValue()) return n == "version" ? Asked::version : Asked::help;
            error = "option " + cur.spelled() + " takes no value";
            return Asked::bad;
        }
        const bool known = n == "scene" || n == "canvas" || n == "seed" || n == "hours" || n == "draw-every" ||
                           n == "max-growth";
        if (!known) {
            error = cur.isOption() ? "unknown option '" + cur.spelled() + "' (see --help)"
                                   : "unknown argument '" + cur.spelled() + "' (see --help)";
            return Asked::bad;
        }
        const std::optional<std::string> given = cur.value();
        if (!given) {
            error = "option " + cur.spelled() + " needs a value";
            return Asked::bad;
        }
        const std::string& value = *given;
        bool ok = true;
        if (flag == "--scene") {
            ok = findScene(value) != nullptr;
            o.scene = value;
        } else if (flag == "--canvas") {
            const auto size = parseSize(value, 16384);
            ok = size.has_value();
            if (ok) o.canvas = *size;
        } else if (flag == "--seed") {
            const auto seed = parseSeed(value);
            ok = seed.has_value();
            if (ok) o.seed = *seed;
        } else if (flag == "--hours" || flag == "--draw-every") {
            const auto count = parseCount(value, 1, 1000000);
            ok = count.has_value();
            if (ok) (flag == "--hours" ? o.hours : o.drawEvery) = *count;
        } else {
            const auto pct = parseDecimal(value, 1000);
            ok = pct.has_value();
            if (ok) o.maxGrowth = *pct;
        }
        if (!ok) {
            error = "bad value '" + value + "' for " + flag + " (see --help)";
            return Asked::bad;
        }
    }
    return Asked::run;
}

// Standard output failed: one line, unless the reader just went away.
int outputFailed(int error) {
    if (error == EPIPE) return 0;
    std::fprintf(stderr, "duskmere-soak: cannot write to standard output: %s\n",
                 error ? std::strerror(error) : "write error");
    return 1;
}

int soak(const SoakOptions& o) {
    const SceneEntry& entry = *findScene(o.scene);
    std::unique_ptr<PixelScene> scene = entry.makeScene(o.canvas.width, o.canvas.height, o.seed);
    Canvas canvas(o.canvas.width, o.canvas.height);
    std::printf("%s %" PRId64 "x%" PRId64 " seed %" PRIu64 ": %" PRId64 " simulated hours, drawing every %" PRId64
                " frames\n",
                o.scene.c_str(), o.canvas.width, o.canvas.height, o.seed, o.hours, o.drawEvery);
    if (std::fflush(stdout) != 0) return outputFailed(errno);
    double firstHour = 0, peakAfterFirst = 0;
    int64_t frame = 0;
    for (int64_t hour = 1; hour <= o.hours; ++hour) {
        const auto start = std::chrono::steady_clock::now();
        for (int64_t i = 0; i < framesPerHour; ++i, ++frame) {
            scene->step();
            if (frame % o.drawEvery == 0) scene->draw(canvas);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rss = residentMiB();
        if (hour == 1) firstHour = rss;
        peakAfterFirst = std::max(peakAfterFirst, rss);
        std::printf("hour %3" PRId64 ": %9.0f frames/s, resident %8.2f MiB\n", hour,
                    static_cast<double>(framesPerHour) / seconds, rss);
        if (std::fflush(stdout) != 0) return outputFailed(errno);
    }
    const double final = residentMiB();
    const double growth = firstHour > 0 ? (peakAfterFirst - firstHour) * 100.0 / firstHour : 0;
    std::printf("peak resident %.2f MiB, final resident %.2f MiB, growth after the first hour %.2f %%\n",
                std::max(peakResidentMiB(), peakAfterFirst), final, growth);
    if (std::fflush(stdout) != 0) return outputFailed(errno);
    return o.maxGrowth >= 0 && growth > o.maxGrowth ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    SoakOptions o;
    std::string error;
    switch (parse(argc, argv, o, error)) {
    case Asked::bad:
        std::fprintf(stderr, "duskmere-soak: %s\n", error.c_str());
        return 2;
    case Asked::help:
        std::fputs(usage, stdout);
        return std::fflush(stdout) == 0 ? 0 : outputFailed(errno);
    case Asked::version:
        std::puts("duskmere-soak " DUSKMERE_VERSION);
        return std::fflush(stdout) == 0 ? 0 : outputFailed(errno);
    case Asked::run:
        break;
    }
    signal(SIGPIPE, SIG_IGN);
    try {
        return soak(o);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "duskmere-soak: out of memory for a %" PRId64 "x%" PRId64 " canvas\n", o.canvas.width,
                     o.canvas.height);
        return 1;
    }
}
