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

// A deadline of `ms` on the machines the tests were made on, on this one: scaled by
// NUPORAKU_DEADLINE_FACTOR, how many times slower this machine runs Wine, as measured when its
// session started (a virtual machine without hardware virtualisation); as it is elsewhere.
DWORD deadline(DWORD ms);

// Polls until the condition holds or the deadline (scaled) passes; returns whether it held.
bool wait_until(const std::function<bool()>& condition, DWORD deadline_ms = default_deadline_ms);

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
