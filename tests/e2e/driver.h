// Drives a real nuporaku.exe from another process, as a person would: reads its boxes and
// windows, clicks, types and pastes, and waits for conditions with deadlines.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

constexpr DWORD default_deadline_ms = 10000;
// The longest that any one wait may become on a slower machine.
constexpr DWORD longest_wait_ms = 120000;

// A time of `ms` on the machine the deadlines were made on, on this one: a bound on how long
// something may take, or how long a test goes on. It is `ms` times how many times slower this
// machine runs programs, at least 1 and at most 100: NUPORAKU_DEADLINE_FACTOR where set
// (tests/wine/session.sh scale, for a whole test run), else measured here once, by starting
// cmd.exe. The check kit's report says which factor it used.
DWORD deadline(DWORD ms);
// How long a wait of `ms` there may take here: deadline(ms), but at most longest_wait_ms (or
// `ms` where it is longer); and once a wait of the running test has run out, `ms` as given, as
// its program has stopped making progress. A test then fails in minutes at any factor.
DWORD wait_time(DWORD ms);

// Polls until the condition holds or the wait (wait_time) runs out; returns whether it held.
bool wait_until(const std::function<bool()>& condition, DWORD deadline_ms = default_deadline_ms);
// Sends a message to another process's window and returns its result; waits wait_time(5000) for
// the answer. `answered` receives whether one came.
LRESULT send_message(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0, bool* answered = nullptr);

std::wstring window_text(HWND window);
std::string utf8(const std::wstring& text);
std::wstring class_name(HWND window);

enum class BoxIcon { none, information, question, error, other };

// A message box as another process sees it.
struct Box {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // identifiers of the visible buttons, left to right
    BoxIcon icon = BoxIcon::none;
};

// The path of the program under test: beside this test program's folder, or NUPORAKU_EXE.
std::wstring program_path();
// This test program's folder, with a trailing backslash.
std::wstring test_folder();

// One run of the program. The destructor ends a run that is still going.
class Visit {
public:
    // command_line is the whole command line; by default the quoted program path and the tail.
    explicit Visit(const std::wstring& tail = L"", int show_state = -1, const std::wstring& command_line = L"");
    ~Visit();
    Visit(const Visit&) = delete;
    Visit& operator=(const Visit&) = delete;

    DWORD process_id() const { return process_.dwProcessId; }
    HANDLE process() const { return process_.hProcess; }
    HANDLE thread() const { return process_.hThread; }  // the program's only thread
    DWORD thread_id() const { return process_.dwThreadId; }

    // The program's visible top-level windows, in Z order.
    std::vector<HWND> windows() const;
    // Waits for a visible top-level window of the program that satisfies the predicate.
    HWND wait_window(const std::function<bool(HWND)>& predicate, DWORD deadline_ms = default_deadline_ms) const;

    // Waits for the next message box (any other than `except`) and reads it.
    Box wait_box(HWND except = nullptr, DWORD deadline_ms = default_deadline_ms) const;
    // Presses a box's button and waits until the box has gone.
    void answer(const Box& box, int button_id) const;
    // Waits for the next box, checks it is the expected one (caption and text), answers it.
    Box expect_box(const std::wstring& caption, const std::wstring& text, int button_id = IDOK) const;

    // Confirms the title and greeting boxes and returns the order form.
    HWND open_form() const;
    HWND wait_form(DWORD deadline_ms = default_deadline_ms) const;

    // Waits for the process to end; returns its exit code, or STILL_ACTIVE after the deadline.
    DWORD wait_exit(DWORD deadline_ms = default_deadline_ms) const;
    bool running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

private:
    PROCESS_INFORMATION process_{};
};

bool is_message_box(HWND window);
bool is_order_form(HWND window);
bool is_fade_window(HWND window);
// Identifiers of a box's visible buttons, left to right.
std::vector<int> box_buttons(HWND box);

// The form's controls of menu row i.
HWND count_field(HWND form, int row);
HWND spin_control(HWND form, int row);
std::wstring field_text(HWND form, int row);

// What a person does to the form. Each returns once the form has handled it.
void click_spin(HWND form, int row, bool up = true);
// The same click as the mouse makes it at the arrow's place on the screen, which a disabled
// window does not get. It returns once the click is queued: wait for its effect.
void click_spin_on_screen(HWND form, int row, bool up = true);
void type_into(HWND form, int row, const std::wstring& digits);  // selects the field's text first
void paste_into(HWND form, int row, const std::wstring& text);   // replaces the field's text
void press_key(HWND form, int row, UINT virtual_key);            // a key in a field (Esc, Enter)
void choose_command(HWND form, int command_id);                  // a menu entry, by its command
void close_window(HWND window);                                  // the close box

// A 24-bit bitmap (rows of blue, green, red, the top row first) with a memory DC selected into
// it: to draw into, or to copy part of the screen into.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC dc() const { return dc_; }
    // What the screen shows from (left, top), where the DC's clipping region lets it; false
    // where the screen cannot be read (a locked workstation, a secure desktop).
    bool copy_screen(int left, int top);
    const BYTE* pixels() const { return static_cast<const BYTE*>(pixels_); }
    int stride() const { return (3 * width_ + 3) & ~3; }  // rows are padded to four bytes

private:
    int width_, height_;
    void* pixels_ = nullptr;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_bitmap_;
};

// What the whole screen shows: 24-bit pixels (blue, green, red), the top row first.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<BYTE> pixels;
    bool save(const std::wstring& path) const;      // as a BMP file
    bool save_png(const std::wstring& path) const;  // as a PNG file; none is left where it fails
};
Screenshot take_screenshot();

// What the program's windows show of themselves and nothing else of the screen: the smallest
// rectangle around the parts of its visible windows that no other window covers, the rest of it
// in `not_the_program`. Empty where the screen cannot be read or the display changed meanwhile.
constexpr COLORREF not_the_program = RGB(64, 64, 64);
Screenshot take_picture(const Visit& visit);

// The fade-out window's opacity, 0 once it has gone.
BYTE opacity(HWND window);
// The fade-out window's opacity at each of its timer ticks from now on, just before the program
// handles the tick, as a hook in the program's thread sees it (nuporaku_timer_hook.dll, beside
// this test program): every tick, however late, where sampling from here could miss one.
class TimerTicks {
public:
    explicit TimerTicks(const Visit& visit);
    ~TimerTicks();
    TimerTicks(const TimerTicks&) = delete;
    TimerTicks& operator=(const TimerTicks&) = delete;
    // The levels posted so far, in order; each call takes those that came since the last.
    std::vector<int> levels();

private:
    HWND listener_ = nullptr;
    HMODULE module_ = nullptr;
    HHOOK hook_ = nullptr;
};
// Waits until the screen shows green at the point, as the fade-out window does once it is
// painted there, and returns what it shows.
COLORREF wait_for_green(POINT point, DWORD deadline_ms = 1000);

// The menu font for programs started from now on, restored when this goes.
class MenuFont {
public:
    explicit MenuFont(int percent);
    ~MenuFont();
    MenuFont(const MenuFont&) = delete;
    MenuFont& operator=(const MenuFont&) = delete;

private:
    // The size Windows XP knows, which it requires; later versions take it too (documented).
    NONCLIENTMETRICSW saved_{offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW)};
};

// Text of every message box and caption the program uses.
namespace texts {
inline const std::wstring title = L"ヌポラ for Windows";
inline const std::wstring greeting = L"いらっしゃいませ！ご注文は？";
inline const std::wstring about_caption = L"バージョン情報";
inline const std::wstring nothing_ordered = L"冷やかしですか...";
inline const std::wstring cannot_pay = L"そんな金がどこにあるんだい!?\r\n\r\n追い出されてしまった...";
inline const std::wstring smile_overdone = L"顔がひきつってしまいましたわぁ～ん。\r\n\r\n追い出されてしまった...";
inline const std::wstring takeout_question = L"お持ち帰りですか？";
inline const std::wstring eat_in_caption = L"Bye bye!ヌポラWorld";
inline const std::wstring takeout_caption = L"Bye bye!ヌポラWorldお持ち帰り～♪";
}  // namespace texts

}  // namespace e2e
