#include "fade_window.h"

#include "resource.h"
#include "win32_text.h"

namespace nuporaku {

namespace {

constexpr wchar_t class_name[] = L"NUPORAKU";
constexpr UINT_PTR fade_timer = 1;
// SetTimer raises 4 ms to its minimum, 10 ms, and a timer fires only on a tick of the system
// clock. So the 255 steps take about 2.55 s under Wine (measured here) but about 4 s on Windows
// (255 x 15.6 ms, the default clock; Microsoft's documentation of SetTimer and timeBeginPeriod):
// a faster clock that another program asks for speeds this one up only before Windows 10 2004.
constexpr UINT fade_interval_ms = 4;

HBRUSH green_brush;
int fade_level;

void set_opacity(HWND window, int level)
{
    SetLayeredWindowAttributes(window, 0, static_cast<BYTE>(level), LWA_ALPHA);
}

LRESULT CALLBACK fade_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        SetTimer(window, fade_timer, fade_interval_ms, nullptr);
        fade_level = 255;
        SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
        set_opacity(window, fade_level);
        return 0;
    case WM_TIMER:
        if (--fade_level > 0) {
            set_opacity(window, fade_level);
            return 0;
        }
        KillTimer(window, fade_timer);
        DestroyWindow(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        FillRect(dc, &paint.rcPaint, green_brush);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

void run_fade_window(HINSTANCE instance)
{
    green_brush = CreateSolidBrush(RGB(0, 255, 0));
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = fade_window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_NUPORAKU));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = green_brush;
    window_class.lpszClassName = class_name;
    RegisterClassExW(&window_class);

    HWND window = CreateWindowExW(0, class_name, program_title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window) {
        ShowWindow(window, SW_SHOWMAXIMIZED);
        UpdateWindow(window);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DeleteObject(green_brush);
    green_brush = nullptr;
}

}  // namespace nuporaku
