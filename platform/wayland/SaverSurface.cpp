#include "SaverSurface.h"

#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numeric>

#include "CommandLine.h"
#include "SecureRandom.h"
#include "WaylandSaver.h"
#include "catalog/SceneCatalog.h"
#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace duskmere {

namespace {

// An ordinary window's size in points until the compositor proposes one.
constexpr int defaultWindowWidth = 960;
constexpr int defaultWindowHeight = 540;
// The most buffers one surface keeps: two, and a third while the compositor holds both.
constexpr size_t maxBuffers = 3;
// Damage beyond this many boxes is sent as the whole buffer.
constexpr size_t maxDamageBoxes = 1024;
// Damage of more boxes than this is sent as one box per horizontal band. Each box is a request
// the compositor decodes (a busy frame of the campfire has about eighty, which cost more than
// copying their pixels), and compositors bound a region of many rectangles by its extents
// anyway (wlroots past 20), so the bands repaint no more than the boxes did.
constexpr size_t bandedDamage = 16;

SaverSurface* self(void* data) { return static_cast<SaverSurface*>(data); }

// At a fractional scale the compositor turns our damage into points and back, and KWin 5.27
// loses a device row on the way (at 1.5, the bottom row of a box that ends at the picture's
// bottom went stale). Damage whose edges lie on whole points at whole device pixels survives any
// rounding: at p/q device pixels a point, every p pixels (3 at 1.5, 5 at 1.25). The grid for a
// scale, or 1 where none is needed (a whole scale) or none is small (then the whole buffer).
int damageGrid(double scale) {
    if (scale == std::floor(scale)) return 1;
    const long in120ths = std::lround(scale * 120);
    if (std::fabs(in120ths - scale * 120) > 1e-9) return 1 << 20;  // not on the protocol's 1/120 steps
    return static_cast<int>(in120ths / std::gcd(in120ths, 120L));
}

const wl_surface_listener surfaceListener = {
    [](void* data, wl_surface*, wl_output* output) { self(data)->enteredOutput(output); },
    [](void* data, wl_surface*, wl_output* output) { self(data)->leftOutput(output); },
};

const zwlr_layer_surface_v1_listener layerListener = {
    [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t w, uint32_t h) {
        self(data)->configureLayer(serial, w, h);
    },
    [](void* data, zwlr_layer_surface_v1*) { self(data)->close(); },
};

const xdg_surface_listener xdgSurfaceListener = {
    [](void* data, xdg_surface*, uint32_t serial) { self(data)->configureXdg(serial); },
};

const xdg_toplevel_listener toplevelListener = {
    [](void* data, xdg_toplevel*, int32_t w, int32_t h, wl_array* states) {
        bool fullScreen = false;
        for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i)
            fullScreen |= static_cast<const uint32_t*>(states->data)[i] == XDG_TOPLEVEL_STATE_FULLSCREEN;
        self(data)->configureToplevel(w, h, fullScreen);
    },
    [](void* data, xdg_toplevel*) { self(data)->close(); },
    nullptr,  // bounds and capabilities: bound at version 1, which has neither
    nullptr,
};

const wp_fractional_scale_v1_listener fractionalListener = {
    [](void* data, wp_fractional_scale_v1*, uint32_t scale) { self(data)->setPreferredScale(scale); },
};

const wl_callback_listener frameListener = {
    [](void* data, wl_callback*, uint32_t) { self(data)->frameDone(); },
};

}  // namespace

void WaylandSaverPlatform::exitProcess(int status) { _exit(status); }

uint64_t WaylandSaverPlatform::systemSeed() { return newSeed(); }

SaverSurface::SaverSurface(WaylandSaver& owner, Role role, WaylandOutput* output, const SceneEntry& scene,
                           std::optional<uint64_t> seed)
    : owner_(owner), role_(role), output_(output) {
    if (seed) platform_.fixSeed(*seed);
    view_ = scene.makeView(platform_);
    surface_ = wl_compositor_create_surface(owner.compositor());
    wl_surface_add_listener(surface_, &surfaceListener, this);
    if (owner.fractionalScale()) {
        fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(owner.fractionalScale(), surface_);
        wp_fractional_scale_v1_add_listener(fractional_, &fractionalListener, this);
    }
    if (owner.viewporter()) viewport_ = wp_viewporter_get_viewport(owner.viewporter(), surface_);
    wl_output* on = output ? output->output : nullptr;
    if (role == Role::overlay || role == Role::background) {
        const bool overlay = role == Role::overlay;
        layer_ = zwlr_layer_shell_v1_get_layer_surface(
            owner.layerShell(), surface_, on,
            overlay ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "duskmere");
        zwlr_layer_surface_v1_add_listener(layer_, &layerListener, this);
        // Anchored to every edge with no size of its own: the whole output.
        zwlr_layer_surface_v1_set_anchor(layer_,
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_size(layer_, 0, 0);
        zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);  // over (or under) panels too
        zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, overlay ? 1 : 0);
        if (!overlay) {
            // A wallpaper takes no input: clicks and keys go to what the desktop has there.
            wl_region* none = wl_compositor_create_region(owner.compositor());
            wl_surface_set_input_region(surface_, none);
            wl_region_destroy(none);
        }
    } else {
        xdgSurface_ = xdg_wm_base_get_xdg_surface(owner.wmBase(), surface_);
        xdg_surface_add_listener(xdgSurface_, &xdgSurfaceListener, this);
        toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
        xdg_toplevel_add_listener(toplevel_, &toplevelListener, this);
        xdg_toplevel_set_title(toplevel_, "Duskmere");
        xdg_toplevel_set_app_id(toplevel_, "duskmere");
        if (role == Role::fullScreenWindow) {
            xdg_toplevel_set_fullscreen(toplevel_, on);
            fullScreen_ = true;
        }
    }
    // The first commit carries no buffer: the compositor answers with the size to draw.
    wl_surface_commit(surface_);
}

SaverSurface::~SaverSurface() {
    if (frameCallback_) wl_callback_destroy(frameCallback_);
    if (viewport_) wp_viewport_destroy(viewport_);
    if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
    if (layer_) zwlr_layer_surface_v1_destroy(layer_);
    if (toplevel_) xdg_toplevel_destroy(toplevel_);
    if (xdgSurface_) xdg_surface_destroy(xdgSurface_);
    wl_surface_destroy(surface_);
    buffers_.clear();
}

void SaverSurface::configureLayer(uint32_t serial, uint32_t width, uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(layer_, serial);
    if (width == 0 || height == 0) {
        // Anchored to every edge, the size is the output's; a compositor that leaves it to us
        // gets the output's mode in its own scale.
        const int scale = output_ && output_->scale > 0 ? output_->scale : 1;
        width = output_ ? static_cast<uint32_t>(output_->modeWidth / scale) : 0;
        height = output_ ? static_cast<uint32_t>(output_->modeHeight / scale) : 0;
    }
    if (static_cast<int>(width) != width_ || static_cast<int>(height) != height_ || !configured_) needsDraw_ = true;
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
    configured_ = true;
}

void SaverSurface::configureToplevel(int32_t width, int32_t height, bool fullScreen) {
    pendingWidth_ = width;
    pendingHeight_ = height;
    pendingFullScreen_ = fullScreen;
}

void SaverSurface::configureXdg(uint32_t serial) {
    xdg_surface_ack_configure(xdgSurface_, serial);
    // The compositor may change it by itself (a key of its own, a command): `f` goes from there.
    if (role_ == Role::window) fullScreen_ = pendingFullScreen_;
    int w = pendingWidth_, h = pendingHeight_;
    if (w <= 0 || h <= 0) {
        // Ours to choose: the size we have, or a first one.
        w = width_ > 0 ? width_ : defaultWindowWidth;
        h = height_ > 0 ? height_ : defaultWindowHeight;
        if (role_ == Role::fullScreenWindow && output_ && output_->modeWidth > 0) {
            const int scale = output_->scale > 0 ? output_->scale : 1;
            w = output_->modeWidth / scale;
            h = output_->modeHeight / scale;
        }
    }
    if (w != width_ || h != height_ || !configured_) needsDraw_ = true;
    width_ = w;
    height_ = h;
    configured_ = true;
}

void SaverSurface::setPreferredScale(uint32_t scale120) {
    preferred120_ = scale120;
    outputScaleChanged();
}

void SaverSurface::enteredOutput(wl_output* output) {
    if (std::find(entered_.begin(), entered_.end(), output) == entered_.end()) entered_.push_back(output);
    outputScaleChanged();
}

void SaverSurface::leftOutput(wl_output* output) {
    entered_.erase(std::remove(entered_.begin(), entered_.end(), output), entered_.end());
    outputScaleChanged();
}

void SaverSurface::outputScaleChanged() {
    if (chosenScale() != platform_.backingScale()) needsDraw_ = true;
}

void SaverSurface::frameDone() {
    if (frameCallback_) wl_callback_destroy(frameCallback_);
    frameCallback_ = nullptr;
}

void SaverSurface::close() {
    if (role_ == Role::overlay || role_ == Role::background) {
        closed_ = true;  // its output went away: the owner drops the surface
    } else {
        owner_.stop(0);  // a window closed by the user, or a full-screen cover of the saver
    }
}

void SaverSurface::toggleFullScreen() {
    if (!toplevel_) return;
    if (fullScreen_) xdg_toplevel_unset_fullscreen(toplevel_);
    else xdg_toplevel_set_fullscreen(toplevel_, nullptr);
    fullScreen_ = !fullScreen_;
}

double SaverSurface::chosenScale() const {
    if (owner_.options().backingScale) return *owner_.options().backingScale;
    if (preferred120_ > 0) return preferred120_ / 120.0;
    double scale = 1;
    if (output_) {
        scale = outputScale(*output_, true);
    } else {
        for (wl_output* o : entered_)
            if (const WaylandOutput* known = owner_.findOutput(o)) scale = std::max(scale, outputScale(*known, false));
    }
    return scale;
}

double SaverSurface::outputScale(const WaylandOutput& output, bool coversOutput) const {
    const int whole = std::max(1, output.scale);
    // A compositor without the fractional-scale protocol rounds a fractional output scale up in
    // wl_output (sway: 2 for 1.5). The mode against the output's size in points (from
    // xdg-output, or the configured size of a surface that covers it) tells the true one, which
    // only a viewport can show.
    if (!viewport_ || output.modeWidth <= 0 || output.modeHeight <= 0) return whole;
    int logical = std::max(output.logicalWidth, output.logicalHeight);
    if (logical <= 0 && coversOutput) logical = std::max(width_, height_);
    if (logical <= 0) return whole;
    // In 120ths, as the fractional-scale protocol states scales.
    const double ratio = std::round(std::max(output.modeWidth, output.modeHeight) * 120.0 / logical) / 120.0;
    // Anything but a scale just under the stated one is another layout (a compositor that lays
    // outputs out in device pixels says 1 for scale 2), not a rounded scale.
    return ratio > whole - 1 && ratio < whole ? ratio : whole;
}

void SaverSurface::applyScale() {
    const double scale = chosenScale();
    if (scale != platform_.backingScale()) platform_.setBackingScale(scale);
    const ViewSize now = platform_.bounds();
    if (now.width != width_ || now.height != height_)
        platform_.setBounds({static_cast<double>(width_), static_cast<double>(height_)});
    // A whole scale goes through the buffer scale; any other through the viewport, which maps
    // the picture's device pixels onto the surface's points.
    const bool whole = scale == std::floor(scale);
    const bool useViewport = viewport_ && (!whole || preferred120_ > 0);
    const int bufferScale = whole && !useViewport ? static_cast<int>(scale) : 1;
    if (bufferScale != bufferScale_) {
        wl_surface_set_buffer_scale(surface_, bufferScale);
        bufferScale_ = bufferScale;
    }
    if (useViewport && (!viewportSet_ || viewportWidth_ != width_ || viewportHeight_ != height_)) {
        wp_viewport_set_destination(viewport_, width_, height_);
        viewportSet_ = true;
        viewportWidth_ = width_;
        viewportHeight_ = height_;
    } else if (!useViewport && viewportSet_) {
        wp_viewport_set_destination(viewport_, -1, -1);
        viewportSet_ = false;
    }
}

void SaverSurface::tick() {
    view_->animateOneFrame();
    ++ticks_;
}

bool SaverSurface::present(std::string& error) {
    needsDraw_ = false;
    if (width_ < 1 || height_ < 1) return true;
    if (const std::string tooLarge = deviceBudgetError(width_, height_, chosenScale()); !tooLarge.empty()) {
        // Before any buffer: nothing was shown, and nothing large was allocated.
        const std::optional<double> asked = owner_.options().backingScale;
        char scale[32];
        std::snprintf(scale, sizeof scale, "%g", chosenScale());
        owner_.fail(std::string(asked ? "--backing-scale " : "scale ") + scale + " is too large for " +
                        (output_ ? "an output of " : "a window of ") + std::to_string(width_) + " x " +
                        std::to_string(height_) + " points: " + tooLarge,
                    asked ? 2 : 1);
        return true;
    }
    applyScale();
    view_->drawRect();
    const std::vector<DeviceBox>& boxes = platform_.finishRedraw();
    const std::optional<DeviceShift>& shift = platform_.shift();
    const int w = platform_.deviceWidth(), h = platform_.deviceHeight();
    if (w <= 0 || h <= 0) {
        error = "cannot allocate a picture of " + std::to_string(width_) + " x " + std::to_string(height_) +
                " points at scale " + std::to_string(platform_.backingScale());
        return false;
    }
    drawn_ = true;
    platform_.watchForScrolls(boxes);
    // Buffers of another size are of no use any more (the compositor may still show one: it
    // keeps its own reference until the next buffer replaces it).
    std::erase_if(buffers_, [&](const auto& b) { return b->width() != w || b->height() != h; });
    for (const auto& b : buffers_) b->noteRedraw(shift, boxes);
    if (shift) damage_.push_back(shift->area);
    damage_.insert(damage_.end(), boxes.begin(), boxes.end());
    if (damage_.size() > maxDamageBoxes) damage_.assign(1, DeviceBox{0, 0, w, h});
    // Nothing changed: no commit, so the compositor neither repaints nor sends a frame callback,
    // and the next tick comes from our own clock. (A surface nobody sees stops at its next change.)
    if (damage_.empty()) return true;
    ShmBuffer* target = nullptr;
    for (const auto& b : buffers_)
        if (!b->busy()) {
            target = b.get();
            break;
        }
    if (!target) {
        if (buffers_.size() >= maxBuffers) {
            // The compositor holds all: this frame is skipped; its changes wait in the buffers
            // and in the damage of the next commit.
            return true;
        }
        target = ShmBuffer::create(owner_.shm(), w, h, error);
        if (!target) return false;
        buffers_.emplace_back(target);
    }
    target->update(platform_.devicePixels());
    target->markBusy();
    wl_surface_attach(surface_, target->buffer(), 0, 0);
    if (wl_surface_get_version(surface_) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
        if (damage_.size() > bandedDamage) {
            std::array<DeviceBox, bandedDamage> bands;
            bands.fill({w, h, 0, 0});
            for (const DeviceBox& b : damage_) {
                DeviceBox& band = bands[static_cast<size_t>(std::clamp(b.y0, 0, h - 1)) * bandedDamage / static_cast<size_t>(h)];
                band = around(band, b);
            }
            damage_.clear();
            for (const DeviceBox& band : bands)
                if (band.x0 < band.x1) damage_.push_back(band);
        }
        const int grid = damageGrid(platform_.backingScale());
        for (DeviceBox b : damage_) {
            if (grid > 1) {
                // Out to the nearest lines that fall on whole points both ways.
                b.x0 -= b.x0 % grid;
                b.y0 -= b.y0 % grid;
                b.x1 = std::min(w, b.x1 + (grid - b.x1 % grid) % grid);
                b.y1 = std::min(h, b.y1 + (grid - b.y1 % grid) % grid);
            }
            wl_surface_damage_buffer(surface_, b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0);
        }
    } else {
        wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
    }
    frameCallback_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frameCallback_, &frameListener, this);
    wl_surface_commit(surface_);
    damage_.clear();
    return true;
}

PixelRows SaverSurface::picture() {
    if (!drawn_) {
        // Stopped before the first frame was sent: the picture is the frame it would have been.
        const double scale = chosenScale();
        if (width_ < 1 || height_ < 1 || !deviceBudgetError(width_, height_, scale).empty()) return {};
        if (scale != platform_.backingScale()) platform_.setBackingScale(scale);
        platform_.setBounds({static_cast<double>(width_), static_cast<double>(height_)});
        view_->drawRect();
        platform_.finishRedraw();
    }
    if (platform_.deviceWidth() <= 0) return {};
    return {platform_.devicePixels(), platform_.deviceWidth(), platform_.deviceHeight()};
}

}  // namespace duskmere
