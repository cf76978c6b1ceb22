// The settings dialog's part in a preview, for the tests under Wine: makes a parent window, starts
// the saver with /p and its handle, checks that the saver draws inside it, destroys the parent and
// checks that the saver then exits by itself, with status 0.
// usage: preview-parent SAVER.scr
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int width = 320;
constexpr int height = 200;

void pump(DWORD milliseconds) {
    const DWORD end = GetTickCount() + milliseconds;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

struct Seen {
    int uncovered = 0;  // the parent's own magenta
    int lit = 0;    // neither white nor black: the scene
};

// The parent's client area as the screen shows it.
Seen look(HWND parent) {
    POINT origin{0, 0};
    ClientToScreen(parent, &origin);
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    Seen seen;
    for (int i = 0; i < width * height; ++i) {
        const DWORD p = static_cast<const DWORD*>(bits)[i] & 0xFFFFFF;
        seen.uncovered += p == 0xFF00FF;
        seen.lit += p != 0xFF00FF && p != 0;
    }
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    return seen;
}

int fail(const char* what) {
    std::printf("FAIL %s\n", what);
    std::fflush(stdout);
    return 1;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc != 2) return fail("usage: preview-parent SAVER.scr");

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(RGB(255, 0, 255));  // a colour no scene uses
    wc.lpszClassName = L"PreviewParent";
    RegisterClassW(&wc);
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    const HWND parent = CreateWindowW(L"PreviewParent", L"preview", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40,
                                      frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                      wc.hInstance, nullptr);
    if (!parent) return fail("cannot create the parent window");
    ShowWindow(parent, SW_SHOW);
    pump(200);

    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" /p " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(parent));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return fail("cannot start the saver");

    // The saver's child appears and covers the client area.
    HWND child = nullptr;
    for (int i = 0; i < 500 && !child; ++i) {
        pump(20);
        child = FindWindowExW(parent, nullptr, nullptr, nullptr);
    }
    if (!child) return TerminateProcess(pi.hProcess, 1), fail("no child window in the parent");
    RECT r{};
    GetClientRect(child, &r);
    std::printf("child %ldx%ld\n", r.right, r.bottom);
    if (r.right != width || r.bottom != height) return TerminateProcess(pi.hProcess, 1), fail("child size");

    // It draws there: the magenta of the parent gives way to the scene.
    Seen seen;
    for (int i = 0; i < 100; ++i) {
        pump(50);
        seen = look(parent);
        if (seen.uncovered == 0 && seen.lit > 0) break;
    }
    std::printf("scene pixels %d, uncovered %d, of %d\n", seen.lit, seen.uncovered, width * height);
    if (seen.uncovered != 0 || seen.lit == 0) return TerminateProcess(pi.hProcess, 1), fail("the scene is not drawn");

    // The parent goes: the saver ends on its own, with status 0.
    const DWORD start = GetTickCount();
    DestroyWindow(parent);
    DWORD waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && GetTickCount() - start < 5000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        waited = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 50, QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0) waited = WAIT_TIMEOUT;
    }
    if (waited != WAIT_OBJECT_0) return TerminateProcess(pi.hProcess, 1), fail("the saver outlived its parent");
    DWORD status = 1;
    GetExitCodeProcess(pi.hProcess, &status);
    std::printf("saver exited with %lu, %lu ms after the parent\n", status, GetTickCount() - start);
    std::fflush(stdout);
    return status == 0 ? 0 : fail("exit status");
}
