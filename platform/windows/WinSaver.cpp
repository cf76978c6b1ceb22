#include "WinSaver.h"

#include <mmsystem.h>
#include <shellscalingapi.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "OutputFile.h"
#include "WicPng.h"
#include "WinText.h"
#include "catalog/SceneCatalog.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace duskmere {

namespace {

// Moving the mouse this far from where it was first seen ends the full-screen saver; less is a
// nudge of the desk.
constexpr LONG mouseSlack = 4;

int64_t performanceCount() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t performanceRate() {
    LARGE_INTEGER rate;
    QueryPerformanceFrequency(&rate);
    return rate.QuadPart > 0 ? rate.QuadPart : 1;
}

// Writes `text` to the standard handle `which` (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE); false where
// there is none to write to, as for a GUI program started from Explorer.
bool writeStandard(DWORD which, const std::string& text) {
    const HANDLE h = GetStdHandle(which);
    DWORD written = 0;
    return h && h != INVALID_HANDLE_VALUE &&
           WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(monitor);
    return TRUE;
}

}  // namespace

WinSaver::WinSaver(HINSTANCE instance, const SaverArguments& arguments, const SceneEntry& scene, std::wstring name)
    : instance_(instance),
      arguments_(arguments),
      scene_(scene),
      name_(std::move(name)),
      clockRate_(performanceRate()),
      schedule_(clockRate_, 30) {}

WinSaver::~WinSaver() {
    windows_.clear();
    if (timer_) CloseHandle(timer_);
    if (coarseTimer_) timeEndPeriod(1);
    if (cursorHidden_) ShowCursor(TRUE);
}

bool WinSaver::toDebuggerAndStderr(const std::string& line) const {
    const std::wstring debug = name_ + L": " + toWide(line) + L"\n";
    OutputDebugStringW(debug.c_str());
    return writeStandard(STD_ERROR_HANDLE, toUtf8(name_) + ": " + line + "\n");
}

void WinSaver::messageBox(const std::string& line, UINT icon) const {
    const std::wstring wide = toWide(line);
    MessageBoxW(nullptr, wide.c_str(), name_.c_str(), MB_OK | icon);
}

void WinSaver::report(const std::string& line) const {
    if (arguments_.mode == SaverArguments::Mode::settings) messageBox(line, MB_ICONERROR);
    else toDebuggerAndStderr(line);
}

void WinSaver::refuse(const std::string& line) const {
    if (!toDebuggerAndStderr(line)) messageBox(line, MB_ICONERROR);
}

void WinSaver::tell(const std::string& line) const {
    // Started from a console or with its output redirected, the line goes there; from Explorer,
    // where a GUI program has no output, in a message.
    if (!writeStandard(STD_OUTPUT_HANDLE, line + "\n")) messageBox(line, MB_ICONINFORMATION);
}

int WinSaver::run() {
    switch (arguments_.mode) {
    case SaverArguments::Mode::password:
        return 0;  // Windows asks for passwords itself
    case SaverArguments::Mode::settings:
        return runSettings();
    default:
        return runWindows();
    }
}

int WinSaver::runSettings() {
    HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(arguments_.window));
    if (!owner || !IsWindow(owner)) owner = GetForegroundWindow();
    const std::wstring text = name_ + L" has no options to set.";
    MessageBoxW(owner, text.c_str(), name_.c_str(), MB_OK | MB_ICONINFORMATION);
    return 0;
}

void WinSaver::stop(int status) {
    if (!stopStatus_) stopStatus_ = status;
}

void WinSaver::mouseMovedTo(POINT p) {
    // Windows sends one move when a window appears under the cursor: that one only sets the mark.
    if (!firstMouse_) {
        firstMouse_ = p;
        return;
    }
    if (std::abs(p.x - firstMouse_->x) > mouseSlack || std::abs(p.y - firstMouse_->y) > mouseSlack) stop(0);
}

void WinSaver::activationChanged(bool active) {
    if (active) {
        activated_ = true;
        return;
    }
    // Another program came to the front; our own windows trading places during a rebuild do not count.
    if (activated_ && !rebuilding_) stop(0);
}

void WinSaver::windowGone() {
    // A window we did not destroy ourselves: the preview's parent went away, or the system closed it.
    if (!rebuilding_) stop(0);
}

bool WinSaver::createTimer(std::string& error) {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer_) return true;
    // Older systems: an ordinary timer, with the system's timer resolution raised while we run.
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (!timer_) {
        error = "cannot create a timer: " + systemMessage(GetLastError());
        return false;
    }
    coarseTimer_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    return true;
}

std::vector<WinSaver::Monitor> WinSaver::currentMonitors() {
    std::vector<HMONITOR> handles;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&handles));
    std::vector<Monitor> monitors;
    for (HMONITOR h : handles) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (!GetMonitorInfoW(h, &info)) continue;
        UINT dpiX = 96;
        UINT dpiY = 96;
        if (GetDpiForMonitor(h, MDT_EFFECTIVE_DPI, &dpiX, &dpiY) != S_OK) dpiX = 0;
        monitors.push_back({info.rcMonitor, dpiX});
    }
    if (monitors.empty()) {
        monitors.push_back({{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                             GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                             GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)},
                            0});
    }
    return monitors;
}

bool WinSaver::sameMonitors(const std::vector<Monitor>& a, const std::vector<Monitor>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Monitor& x, const Monitor& y) {
        return EqualRect(&x.rect, &y.rect) && x.dpi == y.dpi;
    });
}

bool WinSaver::createFullScreenWindows(std::string& error) {
    monitors_ = currentMonitors();
    if (monitors_.empty()) {
        // The system said nothing of its screens (seen in a desktop still starting).
        error = "the system reports no monitor to cover";
        return false;
    }
    for (const Monitor& m : monitors_) {
        std::unique_ptr<SaverWindow> w = SaverWindow::create(*this, SaverWindow::Kind::fullScreen, scene_, nullptr,
                                                             m.rect, arguments_.seed, error);
        if (!w) return false;
        windows_.push_back(std::move(w));
    }
    SetForegroundWindow(windows_.front()->hwnd());
    return true;
}

bool WinSaver::createPreviewWindow(std::string& error) {
    parent_ = reinterpret_cast<HWND>(static_cast<uintptr_t>(arguments_.window));
    if (!IsWindow(parent_)) {
        error = "the preview's parent window " + std::to_string(arguments_.window) + " does not exist";
        return false;
    }
    RECT r{};
    GetClientRect(parent_, &r);
    std::unique_ptr<SaverWindow> w =
        SaverWindow::create(*this, SaverWindow::Kind::preview, scene_, parent_, r, arguments_.seed, error);
    if (!w) return false;
    windows_.push_back(std::move(w));
    return true;
}

void WinSaver::rebuildWindows() {
    rebuilding_ = true;
    // The new windows first, so that activation passes between our own windows and never to
    // another program.
    std::vector<std::unique_ptr<SaverWindow>> old = std::move(windows_);
    windows_.clear();
    std::string error;
    const bool ok = createFullScreenWindows(error);
    old.clear();
    rebuilding_ = false;
    if (!ok) {
        report(error);
        stop(1);
        return;
    }
    clockRunning_ = false;  // a fresh grid for the fresh scenes
    ticks_ = 0;             // and --frames counts theirs, so that a capture is theirs after N frames
}

void WinSaver::followMonitors() {
    // Display and DPI messages come in any order, sometimes before the system's own idea of the
    // monitors has changed, and sometimes not at all: so the monitors are compared on every
    // message and once a second, and the windows rebuilt whenever they differ.
    const int64_t now = performanceCount();
    if (!monitorCheckDue_ && now < nextMonitorCheck_) return;
    monitorCheckDue_ = false;
    nextMonitorCheck_ = now + clockRate_;
    if (!sameMonitors(currentMonitors(), monitors_)) rebuildWindows();
}

void WinSaver::followParent() {
    if (!parent_ || windows_.empty()) return;
    if (!IsWindow(parent_)) {
        stop(0);
        return;
    }
    RECT r{};
    GetClientRect(parent_, &r);
    windows_.front()->moveTo(r);
}

bool WinSaver::anyVisible() const {
    return std::any_of(windows_.begin(), windows_.end(), [](const auto& w) { return w->visible(); });
}

void WinSaver::tickAndDraw() {
    const int64_t now = performanceCount();
    bool fresh = false;
    if (!clockRunning_) {
        // Starting, or back from hiding: a fresh grid, and no ticks owed for the pause. The first
        // redraw (below) builds each scene before any tick.
        schedule_.restart(now);
        clockRunning_ = true;
        fresh = true;
    }
    // A scene or a picture that does not fit in memory ends the saver, rather than leaving a
    // black window over the desktop.
    try {
        if (!fresh && schedule_.due(now)) {
            for (auto& w : windows_)
                if (w->visible()) w->tick();
            ++ticks_;
            schedule_.advance(performanceCount());
        }
        for (auto& w : windows_) {
            std::string error;
            if (!w->redrawIfNeeded(error)) {
                report(error);
                stop(1);
                return;
            }
        }
    } catch (const std::bad_alloc&) {
        report("out of memory for the scene");
        stop(1);
        return;
    } catch (const std::exception& e) {
        report(std::string("cannot go on drawing: ") + e.what());
        stop(1);
        return;
    }
    if (arguments_.frames && ticks_ >= *arguments_.frames &&
        std::all_of(windows_.begin(), windows_.end(), [](const auto& w) { return w->drawn(); }))
        stop(0);
}

void WinSaver::waitForWork(bool ticking) {
    DWORD count = 0;
    DWORD timeout = INFINITE;
    if (ticking) {
        const int64_t left = schedule_.deadline() - performanceCount();
        if (left <= 0) return;
        // Relative due time in 100 ns units, from the absolute deadline: the grid does not drift.
        LARGE_INTEGER due;
        due.QuadPart = -std::max<int64_t>(1, left / clockRate_ * 10000000 + left % clockRate_ * 10000000 / clockRate_);
        if (SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
            count = 1;
        } else {
            timeout = static_cast<DWORD>(std::max<int64_t>(1, left * 1000 / clockRate_));
        }
    } else if (parent_) {
        timeout = 250;  // a hidden preview still notices its parent going away
    }
    MsgWaitForMultipleObjectsEx(count, count ? &timer_ : nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

bool WinSaver::capture(std::string& error) {
    // The pictures the windows hold, each at its place in the virtual screen, black where none is.
    RECT all{};
    bool any = false;
    for (const auto& w : windows_) {
        const RECT& r = w->placement();
        if (!any) all = r;
        else UnionRect(&all, &all, &r);
        any = true;
    }
    if (!any || all.right <= all.left || all.bottom <= all.top) {
        error = "nothing to capture: the saver has no window";
        return false;
    }
    const int width = all.right - all.left;
    const int height = all.bottom - all.top;
    std::vector<uint32_t> picture(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u);
    for (const auto& w : windows_) {
        int pw = 0;
        int ph = 0;
        const uint32_t* pixels = w->picture(pw, ph);
        if (!pixels) {
            error = "nothing to capture: a window has no picture yet";
            return false;
        }
        const RECT& r = w->placement();
        const int cw = std::min(pw, static_cast<int>(r.right - r.left));
        const int ch = std::min(ph, static_cast<int>(r.bottom - r.top));
        for (int y = 0; y < ch; ++y)
            std::copy_n(pixels + static_cast<size_t>(y) * pw, cw,
                        picture.data() + static_cast<size_t>(y + r.top - all.top) * width + (r.left - all.left));
    }
    return writePngFile(picture.data(), width, height, arguments_.capture, error);
}

int WinSaver::runWindows() {
    const bool full = arguments_.mode == SaverArguments::Mode::fullScreen;
    std::string error;
    if (!arguments_.capture.empty() && !checkOutputPath(arguments_.capture, error)) {
        refuse(error);
        return 2;
    }
    HANDLE running = nullptr;
    if (full) {
        // Windows sometimes starts the saver twice; the second copy leaves at once.
        running = CreateMutexW(nullptr, FALSE, L"Local\\Duskmere.FullScreen");
        if (running && GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(running);
            return 0;
        }
    }
    int status = 1;
    if (!SaverWindow::registerClass(instance_, error) || !createTimer(error) ||
        !(full ? createFullScreenWindows(error) : createPreviewWindow(error))) {
        report(error);
    } else {
        if (full) {
            ShowCursor(FALSE);
            cursorHidden_ = true;
        }
        while (!stopStatus_) {
            MSG msg;
            while (!stopStatus_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    stop(static_cast<int>(msg.wParam));
                    break;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (stopStatus_) break;
            if (full) followMonitors();
            followParent();
            if (stopStatus_) break;
            const bool visible = anyVisible();
            if (visible) tickAndDraw();
            else clockRunning_ = false;
            if (!stopStatus_) waitForWork(visible && clockRunning_);
        }
        status = *stopStatus_;
        if (status == 0 && !arguments_.capture.empty() && !capture(error)) {
            report(error);
            status = 1;
        }
    }
    windows_.clear();
    if (running) CloseHandle(running);
    return status;
}

}  // namespace duskmere
