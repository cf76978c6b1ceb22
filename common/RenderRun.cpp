#include "RenderRun.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "OutputFile.h"
#include "Version.h"
#include "catalog/SceneCatalog.h"
#include "pixels/CanvasHash.h"

namespace duskmere {

RenderTarget::RenderTarget(ViewSize bounds, double backingScale, uint64_t seed)
    : SoftwareSaverPlatform(backingScale), seed_(seed) {
    setBounds(bounds);
}

PixelRows RenderTarget::picture() {
    finishRedraw();  // the presenter paints a redraw when it ends
    if (deviceWidth() <= 0 || deviceHeight() <= 0) return {};
    return {devicePixels(), deviceWidth(), deviceHeight()};
}

namespace {

// How a write to the output stream ended.
enum class Emitted { ok, failed, readerGone };

// The updating line on a terminal: frames done, speed, time left. Shown only once a run has
// taken a second, at most a few times a second, and wiped at the end.
class Progress {
public:
    Progress(std::FILE* err, bool shown, int64_t total) : err_(err), shown_(shown), total_(total) {}
    ~Progress() { clear(); }

    // Wipes the line, so that a line printed on the same terminal stands alone.
    void clear() {
        if (width_ > 0) std::fprintf(err_, "\r%*s\r", width_, "");
        width_ = 0;
    }

    void update(int64_t done) {
        if (!shown_) return;
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        if (elapsed < 1.0 || now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double rate = static_cast<double>(done) / elapsed;
        const int64_t left = rate > 0 ? static_cast<int64_t>(static_cast<double>(total_ - done) / rate) : 0;
        char line[160];
        const int n = std::snprintf(line, sizeof line,
                                    "duskmere-render: frame %" PRId64 " of %" PRId64 ", %.1f frames/s, %" PRId64
                                    ":%02" PRId64 ":%02" PRId64 " left",
                                    done, total_, rate, left / 3600, left / 60 % 60, left % 60);
        std::fprintf(err_, "\r%s%*s", line, width_ > n ? width_ - n : 0, "");
        std::fflush(err_);
        if (n > width_) width_ = n;
    }

private:
    using Clock = std::chrono::steady_clock;
    std::FILE* err_;
    bool shown_;
    int64_t total_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_{};
    int width_ = 0;
};

// Decides which frames are hashed and written, and does both.
class FrameOutput {
public:
    FrameOutput(const RenderOptions& o, RenderHost& host, const RenderStreams& streams, Progress& progress)
        : o_(o), host_(host), out_(streams.out), err_(streams.err), progress_(streams.outIsTerminal ? &progress : nullptr) {}

    bool hashes(int64_t n) const { return o_.hashEvery > 0 && n % o_.hashEvery == 0; }
    bool writes(int64_t n) const {
        if (o_.out.empty()) return false;
        // A stream holds what the screen shows during the N ticks: frames 0 to N - 1, so that
        // --frames N at 30 a second is exactly N / 30 seconds of video.
        if (o_.streamsFrames() && n >= o_.frames) return false;
        if (o_.every > 0) return n % o_.every == 0;
        return o_.streamsFrames() || n == o_.frames;
    }
    bool wanted(int64_t n) const { return hashes(n) || writes(n); }

    // Emits frame n from the drawn canvas and the picture that shows it.
    Emitted emit(int64_t n, const Canvas& canvas, const PixelRows& picture) {
        if (hashes(n) && progress_) progress_->clear();
        if (hashes(n) && std::fputs(frameHashLine(n, canvas).c_str(), out_) < 0)
            return streamFailed(errno);
        if (!writes(n)) return Emitted::ok;
        if (!picture.pixels) {
            std::fputs("duskmere-render: out of memory for the picture of a frame\n", err_);
            return Emitted::failed;
        }
        if (o_.streamsFrames()) return stream(picture);
        OutputFile file;
        std::string error;
        if (file.open(o_.every > 0 ? formatFramePath(o_.out, n) : o_.out, error) &&
            host_.writePng(picture, file, error))
            return Emitted::ok;
        std::fprintf(err_, "duskmere-render: %s\n", error.c_str());
        return Emitted::failed;
    }

    // Pushes out what is buffered; the end of a run.
    Emitted finish() { return std::fflush(out_) != 0 ? streamFailed(errno) : Emitted::ok; }

private:
    // One frame as raw RGBA bytes, then flushed, so that a reader that left is noticed at once.
    Emitted stream(const PixelRows& picture) {
        row_.resize(static_cast<size_t>(picture.width) * 4);
        for (int64_t y = 0; y < picture.height; ++y) {
            const uint32_t* src = picture.pixels + y * picture.width;
            for (int64_t x = 0; x < picture.width; ++x) {
                unsigned char* px = row_.data() + x * 4;
                px[0] = static_cast<unsigned char>(src[x]);
                px[1] = static_cast<unsigned char>(src[x] >> 8);
                px[2] = static_cast<unsigned char>(src[x] >> 16);
                px[3] = 0xFF;
            }
            if (std::fwrite(row_.data(), 1, row_.size(), out_) != row_.size()) return streamFailed(errno);
        }
        return finish();
    }

    Emitted streamFailed(int error) {
        // A reader that closed its end (a pager quit, an encoder had enough) ends the run quietly.
        if (host_.readerGone(out_, error)) return Emitted::readerGone;
        std::fprintf(err_, "duskmere-render: cannot write to standard output: %s\n",
                     error ? std::strerror(error) : "write error");
        return Emitted::failed;
    }

    const RenderOptions& o_;
    RenderHost& host_;
    std::FILE* out_;
    std::FILE* err_;
    Progress* progress_;  // shares the terminal with the hash lines
    std::vector<unsigned char> row_;
};

int statusOf(Emitted e) { return e == Emitted::failed ? 1 : 0; }

int renderCanvas(const RenderOptions& o, const SceneEntry& entry, uint64_t seed, FrameOutput& output,
                 Progress& progress) {
    std::unique_ptr<PixelScene> scene = entry.makeScene(o.width, o.height, seed);
    Canvas canvas(o.width, o.height);
    for (int64_t n = 0; n <= o.frames; ++n) {
        progress.update(n);
        if (n > 0) scene->step();
        if (!output.wanted(n)) continue;
        scene->draw(canvas);
        const Emitted e = output.emit(n, canvas, {canvas.px.data(), canvas.width, canvas.height});
        if (e != Emitted::ok) return statusOf(e);
    }
    return statusOf(output.finish());
}

int renderView(const RenderOptions& o, const SceneEntry& entry, uint64_t seed, FrameOutput& output,
               Progress& progress, std::FILE* err) {
    RenderTarget target({static_cast<double>(o.width), static_cast<double>(o.height)}, o.backingScale, seed);
    std::unique_ptr<PixelSaverView> view = entry.makeView(target);
    view->drawRect();  // the first redraw builds canvas and scene; ticks before it step nothing
    for (int64_t n = 0; n <= o.frames; ++n) {
        progress.update(n);
        if (n > 0) view->animateOneFrame();
        if (!output.wanted(n)) continue;
        if (n > 0) view->drawRect();  // frame 0 is the first redraw's
        // The view builds its canvas only once the platform could make its picture.
        if (!view->canvas()) {
            std::fprintf(err, "duskmere-render: out of memory for a view of %" PRId64 "x%" PRId64 " points at scale %g\n",
                         o.width, o.height, o.backingScale);
            return 1;
        }
        const Emitted e = output.emit(n, *view->canvas(), output.writes(n) ? target.picture() : PixelRows{});
        if (e != Emitted::ok) return statusOf(e);
    }
    return statusOf(output.finish());
}

}  // namespace

int runRender(const RenderOptions& o, RenderHost& host, const RenderStreams& streams) {
    const SceneEntry* entry = findScene(o.scene);
    if (!entry) {
        std::fprintf(streams.err, "duskmere-render: unknown scene '%s'\n", o.scene.c_str());
        return 2;
    }
    if (o.streamsFrames() && streams.outIsTerminal) {
        std::fputs("duskmere-render: --out - writes binary frames; send them to a file or a pipe, not a terminal\n",
                   streams.err);
        return 2;
    }
    if (!o.out.empty() && !o.streamsFrames()) {
        std::string error;
        // An output nobody can write is a bad argument: say so before any work starts. With
        // --every, the first frame's name stands for the pattern's.
        if (!checkOutputPath(o.every > 0 ? formatFramePath(o.out, 0) : o.out, error)) {
            std::fprintf(streams.err, "duskmere-render: %s\n", error.c_str());
            return 2;
        }
    }
    uint64_t seed;
    if (o.seed) {
        seed = *o.seed;
    } else {
        seed = host.secureRandomSeed();
        std::fprintf(streams.err, "duskmere-render: seed 0x%016" PRIx64 "\n", seed);
    }
    Progress progress(streams.err, streams.errIsTerminal, o.frames);
    FrameOutput output(o, host, streams, progress);
    return o.throughView ? renderView(o, *entry, seed, output, progress, streams.err)
                         : renderCanvas(o, *entry, seed, output, progress);
}

int renderProgram(const std::vector<std::string>& args, RenderHost& host, const RenderStreams& streams,
                  void (*beforeWork)()) {
    const Parsed<RenderOptions> parsed = parseRenderOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(streams.err, "duskmere-render: %s\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options.help || parsed.options.version) {
        std::fputs(parsed.options.help ? renderUsage : "duskmere-render " DUSKMERE_VERSION "\n", streams.out);
        return std::fflush(streams.out) == 0 ? 0 : 1;
    }
    beforeWork();
    try {
        return runRender(parsed.options, host, streams);
    } catch (const std::bad_alloc&) {
        std::fprintf(streams.err, "duskmere-render: out of memory for a %" PRId64 "x%" PRId64 " scene\n",
                     parsed.options.width, parsed.options.height);
        return 1;
    }
}

}  // namespace duskmere
