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
    bool alive() const { return hwnd_ != nullptr; }
    // Something of the window can be seen: it exists, is shown and is not minimised.
    bool visible() const;
    bool drawn() const { return drawn_; }

    void tick() { view_->animateOneFrame(); }
    // Redraws when the view asked for it or the window needs a fresh picture; copies the changed
    // boxes to the screen. False when there is no memory for the picture; may throw
    // std::bad_alloc (a scene too large for memory).
    bool redrawIfNeeded();
    // Matches the window to a new size in pixels (the preview following its parent).
    void moveTo(const RECT& rect);
    // What the window shows, read back from the screen, in the canvas's pixel format. False
    // before the first redraw.
    bool readBack(std::vector<uint32_t>& pixels, int& width, int& height) const;
    RECT screenRect() const;

private:
    SaverWindow(WinSaver& owner, Kind kind, const SceneEntry& scene);
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void updateGeometry();
    void paint();
    bool readScreen(std::vector<uint32_t>& pixels, int width, int height) const;
    void copyToScreen(HDC dc, int x0, int y0, int x1, int y1);

    WinSaver& owner_;
    Kind kind_;
    HWND hwnd_ = nullptr;
    WinSaverPlatform platform_;
    std::unique_ptr<PixelSaverView> view_;
    std::vector<uint32_t> scratch_;  // one box in the screen's byte order, B, G, R, 0
    bool repaint_ = true;
    bool drawn_ = false;
};

}  // namespace duskmere
