#include "SaverWindow.h"

#include <windowsx.h>

#include <algorithm>

#include "CommandLine.h"
#include "WinSaver.h"
#include "WinText.h"
#include "catalog/SceneCatalog.h"

namespace duskmere {

namespace {

constexpr wchar_t className[] = L"DuskmereSaverWindow";

BITMAPINFO topDownInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // row 0 at the top, like the picture
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace

bool SaverWindow::registerClass(HINSTANCE instance, std::string& error) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(100));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = className;
    if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
    error = "cannot register the window class: " + systemMessage(GetLastError());
    return false;
}

SaverWindow::SaverWindow(WinSaver& owner, Kind kind, const SceneEntry& scene)
    : owner_(owner), kind_(kind), view_(scene.makeView(platform_)) {}

std::unique_ptr<SaverWindow> SaverWindow::create(WinSaver& owner, Kind kind, const SceneEntry& scene, HWND parent,
                                                 const RECT& rect, std::optional<uint64_t> seed, std::string& error) {
    std::unique_ptr<SaverWindow> window(new SaverWindow(owner, kind, scene));
    if (seed) window->platform_.fixSeed(*seed);
    window->rect_ = rect;
    const bool full = kind == Kind::fullScreen;
    const DWORD style = full ? WS_POPUP : WS_CHILD;
    const DWORD exStyle = full ? WS_EX_TOPMOST | WS_EX_TOOLWINDOW : 0;
    const HWND hwnd = CreateWindowExW(exStyle, className, L"Duskmere", style, rect.left, rect.top,
                                      rect.right - rect.left, rect.bottom - rect.top, full ? nullptr : parent, nullptr,
                                      GetModuleHandleW(nullptr), window.get());
    if (!hwnd) {
        // Wine without a display refuses windows and gives no reason; "success" would puzzle.
        const DWORD code = GetLastError();
        error = "cannot create the window: " +
                (code ? systemMessage(code) : std::string("the system gave no reason (is there a desktop?)"));
        return nullptr;
    }
    window->updateGeometry();
    ShowWindow(hwnd, full ? SW_SHOW : SW_SHOWNA);
    return window;
}

SaverWindow::~SaverWindow() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool SaverWindow::visible() const { return hwnd_ && IsWindowVisible(hwnd_) && !IsIconic(hwnd_); }

void SaverWindow::updateGeometry() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    const UINT dpi = GetDpiForWindow(hwnd_);
    const double scale = dpi >= 24 ? dpi / 96.0 : 1.0;
    // The view works in points; the picture has one pixel per device pixel of the window.
    if (scale != platform_.backingScale()) platform_.setBackingScale(scale);
    const ViewSize points{client.right / scale, client.bottom / scale};
    const ViewSize old = platform_.bounds();
    if (points.width != old.width || points.height != old.height) {
        platform_.setBounds(points);
        repaint_ = true;
    }
}

void SaverWindow::moveTo(const RECT& rect) {
    RECT now{};
    GetWindowRect(hwnd_, &now);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd_), reinterpret_cast<POINT*>(&now), 2);
    if (EqualRect(&now, &rect)) return;
    MoveWindow(hwnd_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    rect_ = rect;
    updateGeometry();
}

RECT SaverWindow::screenRect() const {
    RECT r{};
    GetClientRect(hwnd_, &r);
    MapWindowPoints(hwnd_, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool SaverWindow::redrawIfNeeded(std::string& error) {
    const bool asked = platform_.takeNeedsDisplay();
    if (!hwnd_ || !visible() || (!asked && !repaint_)) return true;
    const ViewSize points = platform_.bounds();
    // Before any picture is made for it: nothing large is allocated.
    if (const std::string tooLarge = deviceBudgetError(points.width, points.height, platform_.backingScale());
        !tooLarge.empty()) {
        error = "the window is too large to draw: " + tooLarge;
        return false;
    }
    repaint_ = false;
    view_->drawRect();
    const std::vector<DeviceBox>& boxes = platform_.finishRedraw();
    // The software platform drops a picture it cannot allocate.
    if (points.width >= 1 && points.height >= 1 && platform_.deviceWidth() <= 0) {
        const RECT r = screenRect();
        error = "cannot make the picture of a " + std::to_string(r.right - r.left) + "x" +
                std::to_string(r.bottom - r.top) + " window: out of memory";
        return false;
    }
    drawn_ = true;
    if (boxes.empty()) return true;
    const HDC dc = GetDC(hwnd_);
    if (!dc) return true;  // the screen may be gone for a moment; WM_PAINT brings the picture back
    for (const DeviceBox& b : boxes) copyToScreen(dc, b.x0, b.y0, b.x1, b.y1);
    ReleaseDC(hwnd_, dc);
    return true;
}

void SaverWindow::copyToScreen(HDC dc, int x0, int y0, int x1, int y1) {
    const int w = platform_.deviceWidth();
    const int h = platform_.deviceHeight();
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > w) x1 = w;
    if (y1 > h) y1 = h;
    if (x0 >= x1 || y0 >= y1) return;
    const int bw = x1 - x0;
    const int bh = y1 - y0;
    scratch_.resize(static_cast<size_t>(bw) * static_cast<size_t>(bh));
    const uint32_t* picture = platform_.devicePixels();
    uint32_t* out = scratch_.data();
    for (int y = y0; y < y1; ++y) {
        const uint32_t* row = picture + static_cast<size_t>(y) * static_cast<size_t>(w) + x0;
        for (int x = 0; x < bw; ++x) {
            // Bytes R, G, B, 0xFF in memory become the DIB's B, G, R, 0.
            const uint32_t p = row[x];
            *out++ = ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
        }
    }
    // A DIB of exactly the box, copied whole: no source offsets to get wrong.
    const BITMAPINFO info = topDownInfo(bw, bh);
    SetDIBitsToDevice(dc, x0, y0, static_cast<DWORD>(bw), static_cast<DWORD>(bh), 0, 0, 0, static_cast<UINT>(bh),
                      scratch_.data(), &info, DIB_RGB_COLORS);
}

void SaverWindow::paint() {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(hwnd_, &ps);
    if (!dc) return;
    const RECT& r = ps.rcPaint;
    if (drawn_ && platform_.deviceWidth() > 0) {
        copyToScreen(dc, r.left, r.top, r.right, r.bottom);
        // Whatever lies beyond the picture (a window larger than the last redraw) stays black.
        if (r.right > platform_.deviceWidth()) {
            RECT right{platform_.deviceWidth(), r.top, r.right, r.bottom};
            FillRect(dc, &right, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        }
        if (r.bottom > platform_.deviceHeight()) {
            RECT bottom{r.left, platform_.deviceHeight(), r.right, r.bottom};
            FillRect(dc, &bottom, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        }
    } else {
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    EndPaint(hwnd_, &ps);
}

const uint32_t* SaverWindow::picture(int& width, int& height) const {
    width = platform_.deviceWidth();
    height = platform_.deviceHeight();
    if (!drawn_ || width <= 0 || height <= 0) return nullptr;
    return platform_.devicePixels();
}

LRESULT CALLBACK SaverWindow::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* window = static_cast<SaverWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        window->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<SaverWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
    return window->handle(message, wParam, lParam);
}

LRESULT SaverWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const bool full = kind_ == Kind::fullScreen;
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the picture covers everything; erasing first would only flicker
    case WM_SIZE:
        updateGeometry();
        break;
    case WM_SHOWWINDOW:
        if (wParam) repaint_ = true;
        break;
    case WM_SETCURSOR:
        if (full) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_DPICHANGED:
        if (full) {
            owner_.checkMonitors();
            return 0;
        }
        updateGeometry();
        break;
    case WM_DPICHANGED_AFTERPARENT:  // the preview moved to a monitor of another scale with its parent
        updateGeometry();
        break;
    case WM_DISPLAYCHANGE:
        if (full) owner_.checkMonitors();
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
        if (full) {
            owner_.stop(0);
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        if (full) {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(hwnd_, &p);
            owner_.mouseMovedTo(p);
        }
        break;
    case WM_ACTIVATEAPP:
        if (full) owner_.activationChanged(wParam != FALSE);
        break;
    case WM_SYSCOMMAND:
        if (full) {
            const WPARAM command = wParam & 0xFFF0;
            if (command == SC_SCREENSAVE || command == SC_MONITORPOWER) return 0;  // we are the saver already
            if (command == SC_CLOSE) {
                owner_.stop(0);
                return 0;
            }
        }
        break;
    case WM_CLOSE:
        owner_.stop(0);
        return 0;
    case WM_DESTROY:
        hwnd_ = nullptr;
        owner_.windowGone();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace duskmere
