#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "WinSaverPlatform.h"
#include "host/PixelSaverView.h"

namespace duskmere {

struct SceneEntry;
class WinSaver;

// One window of the saver with its own view and scene: full screen on one monitor, or the preview
// inside a window of the settings dialog. The view draws into the platform's picture; the window
// copies the boxes that changed to the screen.
class SaverWindow {
public:
    enum class Kind { fullScreen, preview };

    // `rect` is in screen pixels for a full-screen window, in the parent's client pixels for a
    // preview. Null with a reason in `error` when Windows refuses the window.
    static std::unique_ptr<SaverWindow> create(WinSaver& owner, Kind kind, const SceneEntry& scene, HWND parent,
                                               const RECT& rect, std::optional<uint64_t> seed, std::string& error);
    ~SaverWindow();
    SaverWindow(const SaverWindow&) = delete;
    SaverWindow& operator=(const SaverWindow&) = delete;

    static bool registerClass(HINSTANCE instance, std::string& error);

    HWND hwnd() const { return hwnd_; }
    // Something of the window can be seen: it exists, is shown and is not minimised.
    bool visible() const;
    bool drawn() const { return drawn_; }

    void tick() { view_->animateOneFrame(); }
    // Redraws when the view asked for it or the window needs a fresh picture; copies the changed
    // boxes to the screen. False, with the line to report, when the picture would pass the device
    // budget or there is no memory for it; may throw std::bad_alloc (a scene too large for memory).
    bool redrawIfNeeded(std::string& error);
    // Matches the window to a new size in pixels (the preview following its parent).
    void moveTo(const RECT& rect);
    // The picture the window holds (the last redraw's, in the canvas's pixel format, row 0 at the
    // top), never read back from the screen, where a toast or another window may lie over it.
    // Null before the first redraw.
    const uint32_t* picture(int& width, int& height) const;
    // Where the window was put: its monitor's rectangle in the virtual screen for a full-screen
    // window, the parent's client area for a preview.
    const RECT& placement() const { return rect_; }

private:
    SaverWindow(WinSaver& owner, Kind kind, const SceneEntry& scene);
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void updateGeometry();
    RECT screenRect() const;
    void paint();
    void copyToScreen(HDC dc, int x0, int y0, int x1, int y1);

    WinSaver& owner_;
    Kind kind_;
    HWND hwnd_ = nullptr;
    RECT rect_{};
    WinSaverPlatform platform_;
    std::unique_ptr<PixelSaverView> view_;
    std::vector<uint32_t> scratch_;  // one box in the screen's byte order, B, G, R, 0
    bool repaint_ = true;
    bool drawn_ = false;
};

}  // namespace duskmere
