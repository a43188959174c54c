// The yardstick for nuporaku's start-up: a program that only shows one message box (the same
// text, caption and icon as nuporaku's title box) and, as nuporaku must, links the common
// controls. Built the usual way, with the MinGW C runtime and its start-up code, which
// nuporaku does without: -static -municode -mwindows -Os -s.
#include <windows.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    InitCommonControls();
    MessageBoxW(nullptr, L"ヌポラ for Windows Copyright (C) 2026 The NUPORAKU developers", L"ヌポラ for Windows",
                MB_ICONINFORMATION);
    return 0;
}
