// duskmere-soak: runs a scene headless for many simulated hours and reports speed and memory,
// to show that a saver left running for days neither slows down nor grows.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "CommandLine.h"
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
    "usage: duskmere-soak [--scene NAME] [--canvas WxH] [--seed N] [--hours H] [--draw-every K]\n"
    "                     [--max-growth PCT]\n"
    "Steps the scene for H simulated hours (30 frames a second), drawing every K-th frame, and\n"
    "prints frames per second and resident memory after every simulated hour, then the peak and\n"
    "final resident memory. With --max-growth, exits 1 when memory grew by more than PCT percent\n"
    "after the first hour.\n";

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

bool parse(int argc, char** argv, SoakOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help") {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) {
            error = flag.rfind("--", 0) == 0 ? "option " + flag + " needs a value" : "unknown argument '" + flag + "'";
            return false;
        }
        const std::string value = argv[++i];
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
            const auto n = parseCount(value, 1, 1000000);
            ok = n.has_value();
            if (ok) (flag == "--hours" ? o.hours : o.drawEvery) = *n;
        } else if (flag == "--max-growth") {
            const auto pct = parseScale(value, 1000);
            ok = pct.has_value();
            if (ok) o.maxGrowth = *pct;
        } else {
            error = "unknown option '" + flag + "' (see --help)";
            return false;
        }
        if (!ok) {
            error = "bad value '" + value + "' for " + flag;
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SoakOptions o;
    std::string error;
    if (!parse(argc, argv, o, error)) {
        std::fprintf(stderr, "duskmere-soak: %s\n", error.c_str());
        return 2;
    }
    const SceneEntry& entry = *findScene(o.scene);
    std::unique_ptr<PixelScene> scene = entry.makeScene(o.canvas.width, o.canvas.height, o.seed);
    Canvas canvas(o.canvas.width, o.canvas.height);
    std::printf("%s %" PRId64 "x%" PRId64 " seed %" PRIu64 ": %" PRId64 " simulated hours, drawing every %" PRId64
                " frames\n",
                o.scene.c_str(), o.canvas.width, o.canvas.height, o.seed, o.hours, o.drawEvery);
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
        std::fflush(stdout);
    }
    const double final = residentMiB();
    const double growth = firstHour > 0 ? (peakAfterFirst - firstHour) * 100.0 / firstHour : 0;
    std::printf("peak resident %.2f MiB, final resident %.2f MiB, growth after the first hour %.2f %%\n",
                std::max(peakResidentMiB(), peakAfterFirst), final, growth);
    return o.maxGrowth >= 0 && growth > o.maxGrowth ? 1 : 0;
}
