#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SaverArguments.h"
#include "SaverWindow.h"
#include "host/TickSchedule.h"

namespace duskmere {

struct SceneEntry;

// The saver program: the mode Windows asked for, its windows, and one message loop that ticks
// every view 30 times a second on absolute deadlines. Drawing never holds up the loop for longer
// than a frame, and nothing is computed while no window can be seen.
class WinSaver {
public:
    WinSaver(HINSTANCE instance, const SaverArguments& arguments, const SceneEntry& scene, std::wstring name);
    ~WinSaver();

    // Runs the mode to its end; returns the exit status.
    int run();

    // Called by the windows.
    void stop(int status);
    // A display or DPI message: the monitors are compared with the windows' before the next frame.
    void checkMonitors() { monitorCheckDue_ = true; }
    void mouseMovedTo(POINT p);
    void activationChanged(bool active);
    void windowGone();

    // One line for the user: a message box in settings, the debugger's output (and stderr, when
    // there is one) otherwise.
    void report(const std::string& line) const;
    // A bad argument: on stderr when there is one, in a message box when there is none (started
    // from Explorer or the Start menu, where a line would reach nobody).
    void refuse(const std::string& line) const;
    // A line for the user that is not an error (the version).
    void tell(const std::string& line) const;

private:
    // A monitor as the windows are built for it: its rectangle in the virtual screen and its DPI.
    struct Monitor {
        RECT rect;
        UINT dpi;
    };
    // The line on the debugger's output and on stderr; false when there is no stderr.
    bool toDebuggerAndStderr(const std::string& line) const;
    void messageBox(const std::string& line, UINT icon) const;
    static std::vector<Monitor> currentMonitors();
    static bool sameMonitors(const std::vector<Monitor>& a, const std::vector<Monitor>& b);

    int runSettings();
    int runWindows();
    bool createFullScreenWindows(std::string& error);
    bool createPreviewWindow(std::string& error);
    bool createTimer(std::string& error);
    void rebuildWindows();
    void followMonitors();
    void followParent();
    bool anyVisible() const;
    void tickAndDraw();
    void waitForWork(bool ticking);
    bool capture(std::string& error);

    HINSTANCE instance_;
    SaverArguments arguments_;
    const SceneEntry& scene_;
    std::wstring name_;
    std::vector<std::unique_ptr<SaverWindow>> windows_;
    HWND parent_ = nullptr;
    HANDLE timer_ = nullptr;
    bool coarseTimer_ = false;
    int64_t clockRate_ = 1;
    TickSchedule schedule_;
    bool clockRunning_ = false;
    int64_t ticks_ = 0;
    std::vector<Monitor> monitors_;  // what the full-screen windows were built for
    bool monitorCheckDue_ = false;
    int64_t nextMonitorCheck_ = 0;
    bool rebuilding_ = false;
    bool activated_ = false;
    std::optional<POINT> firstMouse_;
    bool cursorHidden_ = false;
    std::optional<int> stopStatus_;
};

}  // namespace duskmere
