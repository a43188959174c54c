// Guards the first use of a function's static variables, as the C++ ABI asks of
// __cxa_guard_acquire and its two siblings. MinGW-w64's GCC 13 and later implement them, for
// libstdc++'s own locale code too, with condition variables, which Windows XP lacks (they
// came with Vista): these take their place in the test programs with one critical section.
#include <windows.h>

#include <cstdint>

namespace {

CRITICAL_SECTION guard_lock;
volatile LONG lock_state;  // 0: not made, 1: being made, 2: made

void enter()
{
    if (InterlockedCompareExchange(&lock_state, 1, 0) == 0) {
        InitializeCriticalSection(&guard_lock);
        InterlockedExchange(&lock_state, 2);
    }
    while (lock_state != 2) Sleep(0);
    EnterCriticalSection(&guard_lock);
}

// The first byte of a guard is set once its variable is made.
bool made(std::int64_t* guard) { return *reinterpret_cast<volatile char*>(guard) != 0; }

}  // namespace

// 1: the caller makes the variable, then calls release (or abort, should making it throw).
extern "C" int __cxa_guard_acquire(std::int64_t* guard)
{
    if (made(guard)) return 0;
    enter();
    if (!made(guard)) return 1;
    LeaveCriticalSection(&guard_lock);
    return 0;
}

extern "C" void __cxa_guard_release(std::int64_t* guard)
{
    *reinterpret_cast<volatile char*>(guard) = 1;
    LeaveCriticalSection(&guard_lock);
}

extern "C" void __cxa_guard_abort(std::int64_t*) { LeaveCriticalSection(&guard_lock); }
