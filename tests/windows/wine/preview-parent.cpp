// The settings dialog's part in a preview, for the tests under Wine: makes a parent window and
// starts the saver with /p and its handle; checks that the saver's child window covers the
// parent's client area; then
//   - with further arguments (--frames N --capture PATH ...), passes them on and waits for the
//     saver to finish by itself;
//   - without, lets it run for a second, destroys the parent, and checks that the saver exits on
//     its own within a few seconds.
// Prints what it saw; exits with the saver's status, or 1 when a check failed.
// usage: preview-parent SAVER.scr [SAVER OPTIONS...]
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int width = 320;
constexpr int height = 200;

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// Pumps messages until the process ends or `milliseconds` pass; true if it ended.
bool waitForExit(HANDLE process, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        pump();
        if (MsgWaitForMultipleObjects(1, &process, FALSE, 20, QS_ALLINPUT) == WAIT_OBJECT_0) return true;
    }
    return false;
}

int fail(const char* what, HANDLE process = nullptr) {
    if (process) TerminateProcess(process, 1);
    std::printf("FAIL %s\n", what);
    std::fflush(stdout);
    return 1;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return fail("usage: preview-parent SAVER.scr [SAVER OPTIONS...]");

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"PreviewParent";
    RegisterClassW(&wc);
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    const HWND parent = CreateWindowW(L"PreviewParent", L"preview", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40,
                                      frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                      wc.hInstance, nullptr);
    if (!parent) return fail("cannot create the parent window");
    ShowWindow(parent, SW_SHOW);
    pump();

    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" /p " + std::to_wstring(reinterpret_cast<uintptr_t>(parent));
    for (int i = 2; i < argc; ++i) command += L" \"" + std::wstring(argv[i]) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return fail("cannot start the saver");

    HWND child = nullptr;
    for (int i = 0; i < 500 && !child; ++i) {
        waitForExit(pi.hProcess, 20);
        child = FindWindowExW(parent, nullptr, nullptr, nullptr);
    }
    if (!child) return fail("no child window in the parent", pi.hProcess);
    RECT r{};
    GetClientRect(child, &r);
    std::printf("child %ldx%ld; ", r.right, r.bottom);
    if (r.right != width || r.bottom != height) return fail("the child does not cover the parent", pi.hProcess);

    const DWORD start = GetTickCount();
    if (argc > 2) {
        if (!waitForExit(pi.hProcess, 60000)) return fail("the saver did not finish", pi.hProcess);
    } else {
        waitForExit(pi.hProcess, 1000);
        DestroyWindow(parent);
        if (!waitForExit(pi.hProcess, 5000)) return fail("the saver outlived its parent", pi.hProcess);
    }
    DWORD status = 1;
    GetExitCodeProcess(pi.hProcess, &status);
    std::printf("saver exited with status %lu after %lu ms%s\n", status, GetTickCount() - start,
                argc > 2 ? "" : " (parent destroyed at 1000 ms)");
    std::fflush(stdout);
    return static_cast<int>(status);
}
