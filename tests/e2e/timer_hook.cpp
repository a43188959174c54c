// A message hook that the fade test puts into the program's thread: at each timer message of
// the fade-out window, before the window handles it, it posts the window's opacity to the test's
// listening window. From another process the opacity can only be sampled, and the last level
// may show for a moment only (a late timer tick is followed by the next one at once), so a
// sampling test missed it under load; in the program's own thread every tick is seen.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK timer_hook(int code, WPARAM removed, LPARAM message_param)
{
    const MSG* message = reinterpret_cast<const MSG*>(message_param);
    wchar_t class_name[16];
    BYTE alpha = 0;
    DWORD flags = 0;
    if (code == HC_ACTION && removed == PM_REMOVE && message->message == WM_TIMER &&
        GetClassNameW(message->hwnd, class_name, 16) && lstrcmpW(class_name, L"NUPORAKU") == 0 &&
        GetLayeredWindowAttributes(message->hwnd, nullptr, &alpha, &flags) && (flags & LWA_ALPHA))
        if (HWND listener = FindWindowExW(HWND_MESSAGE, nullptr, L"NuporakuTimerTicks", nullptr))
            PostMessageW(listener, WM_APP, alpha, 0);
    return CallNextHookEx(nullptr, code, removed, message_param);
}
