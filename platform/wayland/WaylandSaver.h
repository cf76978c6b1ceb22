#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "FpsMeter.h"
#include "IdleWatch.h"
#include "SaverSurface.h"
#include "WaylandOptions.h"
#include "host/TickSchedule.h"

struct wl_compositor;
struct wl_display;
struct wl_keyboard;
struct wl_output;
struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct wl_touch;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;
struct xdg_wm_base;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_layer_shell_v1;

namespace duskmere {

// One wl_output as the compositor describes it, and the saver's surface on it.
struct WaylandOutput {
    uint32_t globalName = 0;
    wl_output* output = nullptr;
    int32_t scale = 1;
    int32_t modeWidth = 0, modeHeight = 0;  // the current mode, in device pixels
    int32_t x = 0, y = 0;                   // where it sits in the compositor's space, in points
    int32_t logicalWidth = 0, logicalHeight = 0;  // its size in points, where xdg-output says it
    zxdg_output_v1* xdgOutput = nullptr;
    bool described = false;                 // the first `done` came
    std::unique_ptr<SaverSurface> surface;
};

// duskmere-wayland: the connection, the outputs and the seat, and the one loop that ticks every
// surface on the shared 30 Hz grid. The loop waits in its own poll on the connection and the
// stop-signal pipe and never blocks inside libwayland, so a stop ends it at once even while the
// compositor does not answer.
class WaylandSaver {
public:
    WaylandSaver(wl_display* display, const WaylandOptions& options, const SceneEntry& scene);
    ~WaylandSaver();

    // Binds the globals; false with a one-line reason and the exit status when the compositor
    // cannot serve us.
    bool connect(std::string& error, int& status);
    // Runs until a stop, writes the capture if one was asked for, and returns the exit status.
    int run();

    // For the surfaces and the listeners.
    const WaylandOptions& options() const { return options_; }
    wl_compositor* compositor() const { return compositor_; }
    wl_shm* shm() const { return shm_; }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
    xdg_wm_base* wmBase() const { return wmBase_; }
    wp_viewporter* viewporter() const { return viewporter_; }
    wp_fractional_scale_manager_v1* fractionalScale() const { return fractionalManager_; }
    WaylandOutput* findOutput(wl_output* output) const;
    // Input, a closed full-screen cover or --frames: the saver ends (with --idle, the showing).
    void stop(int status);
    void fail(const std::string& message, int status = 1);

    // Listener entry points.
    void global(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    void globalRemoved(uint32_t name);
    void outputDone(WaylandOutput& output);
    void describeOutput(WaylandOutput& output);
    // The seat and its devices (WaylandSaverInput.cpp).
    void listenToSeat();
    void seatCapabilities(uint32_t capabilities);
    void keymap(int fd, uint32_t format, uint32_t size);
    void keyboardEntered(bool keysHeld);
    void key(uint32_t key, bool pressed);
    void pointerEntered(wl_surface* surface, uint32_t serial, double x, double y);
    void pointerLeft();
    void pointerMoved(double x, double y);
    void buttonPressed();
    void touched();

private:
    std::vector<SaverSurface*> surfaces() const;
    SaverSurface* firstSurface() const;
    void makeSurface(WaylandOutput& output);
    void pointerAt(double x, double y);       // a place the pointer is really at, on pointerSurface_
    void pointerArrived(double x, double y);  // an entry, or a first motion with none
    bool windowOpening() const;  // GNOME still animates our windows open: pointer places drift
    void dropClosedSurfaces();
    void frame();
    bool waitForWork();
    void lost();
    bool writeCapture();
    static void finishFromWatchdog(void* self);
    // --idle (WaylandSaverIdle.cpp): outputs are covered only while a showing is on.
    bool covering() const { return !idle_ || showing_; }
    bool idleStep();
    void beginShowing();
    void endShowing();
    PixelRows lastShown() const;

    wl_display* display_;
    const WaylandOptions& options_;
    const SceneEntry& scene_;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    wl_seat* seat_ = nullptr;
    uint32_t seatName_ = 0;
    wl_keyboard* keyboard_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    wl_touch* touch_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    xdg_wm_base* wmBase_ = nullptr;
    wp_viewporter* viewporter_ = nullptr;
    wp_fractional_scale_manager_v1* fractionalManager_ = nullptr;
    zxdg_output_manager_v1* xdgOutputManager_ = nullptr;
    bool fallbackExpected_ = false;  // a desktop whose compositor never offers the layer shell
    std::vector<std::unique_ptr<WaylandOutput>> outputs_;  // in the order the compositor announced them
    std::unique_ptr<SaverSurface> window_;                  // --window
    TickSchedule clock_;
    bool clockRunning_ = false;
    bool started_ = false;  // connect() is done: outputs get surfaces as they are described
    std::unordered_map<uint32_t, std::string> keyNames_;  // by XKB keycode, from the keymap
    bool keyboardIsNew_ = false;  // the keyboard appeared while a surface was shown
    bool shown_ = false;          // some surface has shown a frame
    // Where the pointer was first seen moving over our surfaces, in the compositor's space.
    std::optional<std::pair<double, double>> pointerOrigin_;
    wl_surface* pointerSurface_ = nullptr;  // the surface of ours it is over, if known
    bool pointerOver_ = false;              // over one of ours: entered, or moving there
    bool pointerHasLeft_ = false;
    std::pair<double, double> pointerEntry_;  // where the first entry said it was, in surface points
    int64_t pointerEnteredAt_ = 0;            // and when, on the monotonic clock (0: not yet)
    std::optional<bool> captureWritten_;  // the capture's result, once written
    FpsMeter fps_{stderr, "duskmere-wayland"};
    std::optional<int> stopStatus_;
    std::unique_ptr<IdleWatch> idle_;  // --idle
    bool showing_ = false;
    bool endAsked_ = false;               // input ended the showing; taken down in the loop
    std::vector<uint32_t> lastPicture_;   // the first output's picture when the last showing ended
    int64_t lastWidth_ = 0, lastHeight_ = 0;
};

}  // namespace duskmere
