#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PixelRows.h"
#include "ShmBuffer.h"
#include "host/PixelSaverView.h"
#include "host/SoftwareSaverPlatform.h"

struct wl_callback;
struct wl_output;
struct wl_surface;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;

namespace duskmere {

class WaylandSaver;
struct SceneEntry;
struct WaylandOutput;

// The saver's platform on Wayland: drawing in software into the picture a surface shows, the
// view's size from the compositor, the process operations. There is no will-stop notification.
class WaylandSaverPlatform : public SoftwareSaverPlatform {
public:
    std::string processName() const override { return "duskmere-wayland"; }
    void exitProcess(int status) override;

private:
    uint64_t systemSeed() override;
};

// One surface and the scene it shows: a layer surface on one output, a full-screen window on one
// output (where the compositor has no layer shell), or an ordinary window. It draws only when the
// compositor has taken the previous frame (its frame callback came back), so a surface nobody can
// see costs nothing.
class SaverSurface {
public:
    enum class Role { overlay, background, fullScreenWindow, window };

    SaverSurface(WaylandSaver& owner, Role role, WaylandOutput* output, const SceneEntry& scene,
                 std::optional<uint64_t> seed);
    ~SaverSurface();
    SaverSurface(const SaverSurface&) = delete;
    SaverSurface& operator=(const SaverSurface&) = delete;

    wl_surface* surface() const { return surface_; }
    WaylandOutput* output() const { return output_; }
    int width() const { return width_; }  // in points, as configured; 0 until then
    // Configured, and the compositor took the last frame: a frame may be sent now.
    bool canDraw() const { return configured_ && !frameCallback_ && !closed_; }
    // A frame was sent and its frame callback has not come back yet.
    bool awaitsFrame() const { return configured_ && frameCallback_ && !closed_; }
    // A configure or a change of scale asks for a redraw without waiting for the next tick.
    bool needsDraw() const { return needsDraw_; }
    bool closed() const { return closed_; }
    bool drawn() const { return drawn_; }
    int64_t ticks() const { return ticks_; }

    // One 30 Hz tick of the scene (the caller holds the picture lock).
    void tick();
    // Draws the view and sends the changed boxes to the compositor (the caller holds the picture
    // lock while this draws). False with a one-line reason when the picture cannot be had.
    bool present(std::string& error);
    // The picture last sent; drawn first if none was. Empty when the surface has no size yet.
    PixelRows picture();

    // What the compositor says about the output and scale (also called by the listeners).
    void outputScaleChanged();
    void toggleFullScreen();

    // Listener entry points.
    void configureLayer(uint32_t serial, uint32_t width, uint32_t height);
    void configureToplevel(int32_t width, int32_t height, bool fullScreen);
    void configureXdg(uint32_t serial);
    void setPreferredScale(uint32_t scale120);
    void enteredOutput(wl_output* output);
    void leftOutput(wl_output* output);
    void frameDone();
    void close();

private:
    double chosenScale() const;
    double outputScale(const WaylandOutput& output, bool coversOutput) const;
    void applyScale();

    WaylandSaver& owner_;
    Role role_;
    WaylandOutput* output_;
    WaylandSaverPlatform platform_;
    std::unique_ptr<PixelSaverView> view_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    wp_fractional_scale_v1* fractional_ = nullptr;
    wl_callback* frameCallback_ = nullptr;
    std::vector<std::unique_ptr<ShmBuffer>> buffers_;
    std::vector<DeviceBox> damage_;     // changed since the last commit
    std::vector<wl_output*> entered_;  // for a window: the outputs it is on
    int width_ = 0, height_ = 0;        // logical size, from the compositor
    int pendingWidth_ = 0, pendingHeight_ = 0;
    uint32_t preferred120_ = 0;         // the fractional scale, in 120ths; 0: none offered
    int bufferScale_ = 1;               // what the surface was last told
    bool viewportSet_ = false;
    int viewportWidth_ = 0, viewportHeight_ = 0;
    bool configured_ = false;
    bool needsDraw_ = false;
    bool drawn_ = false;
    bool closed_ = false;
    bool fullScreen_ = false;         // as the compositor last said (or as asked, until it says)
    bool pendingFullScreen_ = false;
    int64_t ticks_ = 0;
};

}  // namespace duskmere
