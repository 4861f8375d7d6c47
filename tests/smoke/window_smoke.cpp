// Smoke test of the real Windows program: starts Tidewell.exe, checks its one
// window (title, client size, fixed border, above other windows), saves a
// screenshot of it and closes it. scripts/test-windows.sh runs it under Wine
// with a virtual X display.
//   window_smoke PROGRAM SCREENSHOT.png
#include <windows.h>

#include <QImage>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kClientWidth = 602;  // at 96 dpi
constexpr int kClientHeight = 503;
const wchar_t* const kTitle = TW_WINDOW_TITLE;

int failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failures;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring TitleOf(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

// The visible top-level windows of one process.
std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId && IsWindowVisible(window)) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void PumpFor(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

// Whether the window scales per monitor (DPI_AWARENESS_PER_MONITOR_AWARE);
// true where the system has no per-monitor DPI at all.
bool PerMonitorAware(HWND window) {
    using GetContext = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
    using GetAwareness = int(WINAPI*)(DPI_AWARENESS_CONTEXT);
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto context = reinterpret_cast<GetContext>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
    const auto awareness = reinterpret_cast<GetAwareness>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    if (context == nullptr || awareness == nullptr) return true;
    return awareness(context(window)) == 2;
}

// The window's dots per inch (96 where the system cannot say).
UINT DpiOf(HWND window) {
    using Fn = UINT(WINAPI*)(HWND);
    const auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = fn != nullptr ? fn(window) : 0;
    return dpi != 0 ? dpi : 96;
}

// An ordinary window of ours, made active over the program's window: the
// program's window must still be above it.
void CheckStaysAbove(HWND program, const RECT& area) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"TidewellSmokeOther";
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&cls);
    HWND other = CreateWindowExW(0, cls.lpszClassName, L"another application", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 area.left + 20, area.top + 20, area.right - area.left,
                                 area.bottom - area.top, nullptr, nullptr, cls.hInstance, nullptr);
    SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(other);
    PumpFor(500);
    Check(GetForegroundWindow() == other, "another window is the active one");

    int programAt = -1;
    int otherAt = -1;
    int index = 0;
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT), ++index) {
        if (w == program) programAt = index;
        if (w == other) otherAt = index;
    }
    Check(programAt >= 0 && otherAt >= 0 && programAt < otherAt, "the window stays above the active one");
    const POINT inside = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    Check(GetAncestor(WindowFromPoint(inside), GA_ROOT) == program, "a point on both windows hits the program's");
    DestroyWindow(other);
    PumpFor(300);
}

// The window as the screen shows it, frame included, as a PNG file.
bool SaveScreenshot(HWND window, const wchar_t* path) {
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    GdiFlush();
    QImage image;
    if (copied && bits != nullptr) {
        image = QImage(static_cast<const uchar*>(bits), width, height, width * 4, QImage::Format_RGB32).copy();
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    // A picture of the window has its texts and lines in it, not one colour.
    std::vector<QRgb> colours;
    for (int y = 0; y < image.height() && colours.size() < 8; y += 3) {
        for (int x = 0; x < image.width() && colours.size() < 8; x += 3) {
            const QRgb px = image.pixel(x, y);
            bool seen = false;
            for (QRgb c : colours) seen = seen || c == px;
            if (!seen) colours.push_back(px);
        }
    }
    Check(colours.size() >= 8, "the screenshot shows the window's content");
    return !image.isNull() && image.save(QString::fromWCharArray(path), "PNG");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_smoke PROGRAM SCREENSHOT.png\n");
        return 2;
    }
    // Coordinates in real pixels, whatever the program's DPI awareness.
    SetProcessDPIAware();

    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        Check(false, "the program starts (error " + std::to_string(GetLastError()) + ")");
        return 1;
    }
    CloseHandle(process.hThread);

    // Its window comes up within a minute (a fresh Wine prefix is slow).
    HWND window = nullptr;
    for (int i = 0; i < 600 && window == nullptr; ++i) {
        for (HWND w : VisibleWindowsOf(process.dwProcessId)) {
            if (TitleOf(w) == kTitle) window = w;
        }
        if (window == nullptr) {
            if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
        }
    }
    Check(window != nullptr, "a window titled " + Utf8(kTitle) + " appears");
    if (window == nullptr) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        return 1;
    }
    PumpFor(1500);  // anything else the program would open is up by now

    const std::vector<HWND> windows = VisibleWindowsOf(process.dwProcessId);
    std::string titles;
    for (HWND w : windows) titles += " \"" + Utf8(TitleOf(w)) + "\"";
    Check(windows.size() == 1 && windows[0] == window, "it is the program's only window:" + titles);

    RECT client;
    GetClientRect(window, &client);
    const UINT dpi = DpiOf(window);
    const int wantWidth = MulDiv(kClientWidth, static_cast<int>(dpi), 96);
    const int wantHeight = MulDiv(kClientHeight, static_cast<int>(dpi), 96);
    Check(client.right == wantWidth && client.bottom == wantHeight,
          "client area " + std::to_string(client.right) + " x " + std::to_string(client.bottom) + " (want " +
              std::to_string(wantWidth) + " x " + std::to_string(wantHeight) + " at " + std::to_string(dpi) + " dpi)");

    Check(PerMonitorAware(window), "per-monitor DPI aware");

    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    Check((exStyle & WS_EX_TOPMOST) != 0, "always on top (WS_EX_TOPMOST)");
    Check((style & WS_THICKFRAME) == 0 && (style & WS_MAXIMIZEBOX) == 0,
          "fixed border, no maximise button");
    Check((style & WS_SYSMENU) != 0 && (style & WS_MINIMIZEBOX) != 0, "system menu and minimise button");

    RECT frame;
    GetWindowRect(window, &frame);
    CheckStaysAbove(window, frame);

    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    PumpFor(500);
    Check(SaveScreenshot(window, argv[2]), "screenshot saved to " + Utf8(argv[2]));

    // Closed like the close button does: the program ends by itself, cleanly.
    PostMessageW(window, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    DWORD exitCode = 1;
    if (ended) GetExitCodeProcess(process.hProcess, &exitCode);
    Check(ended && exitCode == 0, "closing the window ends the program (exit code " + std::to_string(exitCode) + ")");
    if (!ended) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);

    std::printf("%s\n", failures == 0 ? "window smoke test passed" : "window smoke test FAILED");
    return failures == 0 ? 0 : 1;
}
