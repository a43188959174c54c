// Another program's window, as every desktop has one: a plain magenta window that stays on top
// in the screen's top left corner, never active. The check kit runs beside it; no picture in
// its report may show any of it. Prints "shown" once the window is on the screen, then runs
// until it is ended.
#include <windows.h>

#include <cstdio>

int main()
{
    WNDCLASSW other{};
    other.lpfnWndProc = DefWindowProcW;
    other.hbrBackground = CreateSolidBrush(RGB(255, 0, 255));
    other.lpszClassName = L"AnotherProgram";
    RegisterClassW(&other);
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, other.lpszClassName,
                                  L"Another program", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr, nullptr,
                                  nullptr);
    if (!window) return 1;
    UpdateWindow(window);
    std::puts("shown");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
