// The functions the page's script calls. One saver per page; strings handed back stay valid
// until the next call that returns one.
#include <emscripten.h>

#include <memory>
#include <string>

#include "WebParameters.h"
#include "WebSaver.h"

using namespace duskmere;

namespace {

WebParameterParser parser;
std::unique_ptr<WebSaver> saver;
std::string text;
std::vector<int32_t> boxWords;

const char* hold(std::string s) {
    text = std::move(s);
    return text.c_str();
}

}  // namespace

extern "C" {

// Builds the saver from the page's address, its query and fragment as the browser gives them
// (still percent-encoded, without '?' and '#'); an error line (and nothing built) or "".
EMSCRIPTEN_KEEPALIVE const char* duskmere_start(const char* query, const char* fragment) {
    std::string error = parser.read(query, fragment);
    if (error.empty()) error = parser.finish();
    if (error.empty()) saver = std::make_unique<WebSaver>(parser.parameters());
    return hold(std::move(error));
}

EMSCRIPTEN_KEEPALIVE int duskmere_runs_frames() { return saver->runsFrames() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int duskmere_shows_canvas() { return parser.parameters().canvas ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE const char* duskmere_scene_name() { return saver->sceneName(); }

EMSCRIPTEN_KEEPALIVE void duskmere_resize(double cssWidth, double cssHeight, double pixelRatio) {
    saver->resize(cssWidth, cssHeight, pixelRatio);
}
EMSCRIPTEN_KEEPALIVE void duskmere_tick() { saver->tick(); }
EMSCRIPTEN_KEEPALIVE int duskmere_run_for(double milliseconds) { return saver->runFor(milliseconds) ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE void duskmere_switch_scene() { saver->switchScene(); }

EMSCRIPTEN_KEEPALIVE const uint32_t* duskmere_pixels() { return saver->pixels(); }
EMSCRIPTEN_KEEPALIVE int duskmere_pixel_width() { return saver->pixelWidth(); }
EMSCRIPTEN_KEEPALIVE int duskmere_pixel_height() { return saver->pixelHeight(); }
// Device columns per picture column: the page widens the picture by this much.
EMSCRIPTEN_KEEPALIVE int duskmere_pixel_step() { return saver->pixelStep(); }
EMSCRIPTEN_KEEPALIVE void duskmere_allow_narrowing(int allow) { saver->allowNarrowing(allow != 0); }

// The changed boxes as x0, y0, x1, y1 words at duskmere_box_words(); returns how many boxes.
EMSCRIPTEN_KEEPALIVE int duskmere_take_boxes() {
    boxWords.clear();
    for (const WebSaver::Box& b : saver->takeBoxes()) boxWords.insert(boxWords.end(), {b.x0, b.y0, b.x1, b.y1});
    return static_cast<int>(boxWords.size() / 4);
}
EMSCRIPTEN_KEEPALIVE const int32_t* duskmere_box_words() { return boxWords.data(); }

EMSCRIPTEN_KEEPALIVE const char* duskmere_take_hash_lines() { return hold(saver->takeHashLines()); }

}  // extern "C"
