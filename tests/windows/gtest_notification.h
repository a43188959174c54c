// Included before every GoogleTest source of the Windows test programs. MinGW's win32 thread
// model has no std::mutex, which GoogleTest's Notification needs; a Win32 event does the same.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1
#include <windows.h>

namespace testing::internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace testing::internal
