#include "driver.h"

#include "report.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <utility>

namespace e2e {

namespace {

// How long cmd.exe takes here to start and end, the shortest of five runs, in ms: starting a
// process and loading its DLLs, as every visit does.
double process_round_trip_ms()
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double best = 0;
    for (int run = 0; run < 5; ++run) {
        wchar_t line[] = L"cmd.exe /c exit";
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION process{};
        QueryPerformanceCounter(&start);
        if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return 0;
        WaitForSingleObject(process.hProcess, 60000);
        QueryPerformanceCounter(&end);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        const double took = 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
        if (run == 0 || took < best) best = took;
    }
    return best;
}

// That round trip where the deadlines were made: 31 to 55 ms under Wine 8 on 2 quiet cores.
constexpr double reference_round_trip_ms = 50;
// The most a wait is made longer by; a machine slower still is too slow to judge.
constexpr double largest_factor = 100;

// Whether a wait of the running test has run out: its program has stopped making progress, and
// the test's later waits are not made longer, so that it fails in bounded time.
bool test_ran_out = false;

struct OnEachTest : testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { test_ran_out = false; }
};
[[maybe_unused]] const bool listening = (testing::UnitTest::GetInstance()->listeners().Append(new OnEachTest), true);

double deadline_factor()
{
    static const double factor = [] {
        std::string how;
        double value = 1;
        if (const char* given = std::getenv("NUPORAKU_DEADLINE_FACTOR")) {
            value = std::atof(given);
            how = "given by NUPORAKU_DEADLINE_FACTOR";
        } else if (const double took = process_round_trip_ms(); took <= 0) {
            how = "cmd.exe could not be started to measure it";
        } else {
            value = took / reference_round_trip_ms;
            char measured[128];
            std::snprintf(measured, sizeof measured, "cmd.exe took %.0f ms to start and end, %.0f ms where the deadlines were made",
                          took, reference_round_trip_ms);
            how = measured;
        }
        value = std::max(1.0, value);
        const bool too_slow = value > largest_factor;
        char line[320];
        std::snprintf(line, sizeof line, "%.1f (%s)%s", std::min(value, largest_factor), how.c_str(),
                      too_slow ? "; too slow to judge: waits were made at most 100 times as long" : "");
        if (value >= 1.05) std::printf("[ SLOWER   ] deadlines are %s\n", line);
        report::figure("deadline factor", line);
        return std::min(value, largest_factor);
    }();
    return factor;
}

}  // namespace

DWORD deadline(DWORD ms) { return static_cast<DWORD>(ms * deadline_factor()); }

DWORD wait_time(DWORD ms)
{
    if (test_ran_out) return ms;
    return std::min(deadline(ms), std::max(ms, longest_wait_ms));
}

void note_ran_out(DWORD waited_ms)
{
    if (waited_ms >= 1000) test_ran_out = true;
}

bool wait_until(const std::function<bool()>& condition, DWORD deadline_ms)
{
    // GetTickCount, not GetTickCount64, which Windows XP lacks; a difference survives its wrap.
    const DWORD start = GetTickCount(), until = wait_time(deadline_ms);
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= until) {
            note_ran_out(until);
            return false;
        }
        Sleep(5);
    }
}

LRESULT send_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool* answered)
{
    DWORD_PTR result = 0;
    const DWORD limit = wait_time(5000);
    const bool got = SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, limit, &result) != 0;
    // No answer from a window that is still there: its thread is stuck, or too slow.
    if (!got && IsWindow(window)) note_ran_out(limit);
    if (answered) *answered = got;
    return static_cast<LRESULT>(result);
}

std::wstring window_text(HWND window)
{
    // WM_GETTEXT, unlike GetWindowText, reaches the controls of another process.
    wchar_t buffer[16384];
    bool answered = false;
    const LRESULT length = send_message(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer), &answered);
    if (!answered) return L"<no answer>";
    return std::wstring(buffer, length);
}

std::string utf8(const std::wstring& text)
{
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

std::wstring class_name(HWND window)
{
    wchar_t buffer[256];
    const int length = GetClassNameW(window, buffer, std::size(buffer));
    return std::wstring(buffer, std::max(length, 0));
}

std::wstring program_path()
{
    wchar_t path[MAX_PATH];
    if (DWORD length = GetEnvironmentVariableW(L"NUPORAKU_EXE", path, MAX_PATH); length && length < MAX_PATH) return path;
    std::wstring build = test_folder();
    build.resize(build.find_last_of(L"\\/", build.size() - 2) + 1);  // the build folder above it
    return build + L"nuporaku.exe";
}

std::wstring test_folder()
{
    wchar_t path[MAX_PATH];
    std::wstring own(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return own.substr(0, own.find_last_of(L"\\/") + 1);
}

namespace {

struct BoxStyles {
    LONG style, ex_style;
};

DWORD WINAPI show_plain_box(void* flags)
{
    return MessageBoxW(nullptr, L"", L"", static_cast<UINT>(reinterpret_cast<UINT_PTR>(flags)));
}

BOOL CALLBACK find_shown_box(HWND window, LPARAM found)
{
    if (IsWindowVisible(window) && is_message_box(window)) *reinterpret_cast<HWND*>(found) = window;
    return TRUE;
}

// The styles Windows gives a box of these flags and no owner: one this process shows on a
// thread of its own, read, then answered. One box per set of flags.
BoxStyles plain_box_styles(UINT flags)
{
    static std::map<UINT, BoxStyles> known;
    if (auto found = known.find(flags); found != known.end()) return found->second;
    DWORD thread_id = 0;
    HANDLE thread = CreateThread(nullptr, 0, show_plain_box, reinterpret_cast<void*>(static_cast<UINT_PTR>(flags)), 0,
                                 &thread_id);
    HWND box = nullptr;
    wait_until([&] { return EnumThreadWindows(thread_id, find_shown_box, reinterpret_cast<LPARAM>(&box)), box != nullptr; });
    const BoxStyles styles{GetWindowLongW(box, GWL_STYLE), GetWindowLongW(box, GWL_EXSTYLE)};
    if (box) PostMessageW(box, WM_COMMAND, box_buttons(box).front(), 0);
    EXPECT_EQ(WaitForSingleObject(thread, wait_time(default_deadline_ms)), WAIT_OBJECT_0) << "the plain box stayed open";
    CloseHandle(thread);
    EXPECT_TRUE(box) << "no plain box of flags " << std::hex << flags;
    return known[flags] = styles;
}

// The flags of the program's boxes: information (help, title, greeting, about), error (the
// refusals and the empty order), the takeout question, the receipt.
constexpr UINT program_box_flags[] = {MB_ICONINFORMATION, MB_ICONERROR, MB_ICONQUESTION | MB_YESNO, MB_OK};

}  // namespace

Visit::Visit(const std::wstring& tail, int show_state, const std::wstring& command_line)
{
    const std::wstring path = program_path();
    std::wstring line = command_line.empty() ? L"\"" + path + L"\"" + (tail.empty() ? L"" : L" " + tail) : command_line;
    // Before the program shows a box: a box of this process's over it would take its activation.
    for (UINT flags : program_box_flags) plain_box_styles(flags);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (show_state >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show_state);
    }
    // Under load, Wine now and then loses a new process in its own start-up, before the program's
    // first instruction, and CreateProcess fails with ERROR_INTERNAL_ERROR (seen here about once
    // in 12 suite runs, with the program unchanged). Starting it is the harness's work: it tries
    // again, and says so.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
            break;
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 3) {
            ADD_FAILURE() << "cannot start " << utf8(path) << " (error " << error << ", attempt " << attempt << ")";
            process_ = {};
            break;
        }
        std::printf("[ RETRY    ] CreateProcess failed with error %lu; starting %s again\n", error, utf8(path).c_str());
    }
}

Visit::~Visit()
{
    if (!process_.hProcess) return;
    if (running()) {
        TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, wait_time(10000));
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

namespace {

struct WindowSearch {
    DWORD process_id;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_window(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id && IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> Visit::windows() const
{
    WindowSearch search{process_.dwProcessId, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Visit::wait_window(const std::function<bool(HWND)>& predicate, DWORD deadline_ms) const
{
    HWND match = nullptr;
    wait_until(
        [&] {
            for (HWND window : windows())
                if (predicate(window)) return (match = window) != nullptr;
            return !running();  // a program that never started, or has ended, shows nothing more
        },
        deadline_ms);
    return match;
}

bool is_message_box(HWND window)
{
    return class_name(window) == L"#32770" && GetDlgItem(window, 0xFFFF) != nullptr;
}

bool is_order_form(HWND window)
{
    return class_name(window) == L"#32770" && GetDlgItem(window, 1000) != nullptr;
}

bool is_fade_window(HWND window) { return class_name(window) == L"NUPORAKU"; }

std::vector<int> box_buttons(HWND box)
{
    std::vector<std::pair<LONG, int>> placed;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (class_name(child) != L"Button" || !IsWindowVisible(child)) continue;
        RECT place;
        GetWindowRect(child, &place);
        placed.emplace_back(place.left, GetDlgCtrlID(child));
    }
    std::sort(placed.begin(), placed.end());
    std::vector<int> buttons;
    for (const auto& button : placed) buttons.push_back(button.second);
    return buttons;
}

namespace {

// Which standard icon a box shows: its icon static's pixels compared with each standard icon
// drawn on the same background. Handles of another process's icons can't be read directly.
BoxIcon read_icon(HWND box)
{
    HWND icon_static = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (class_name(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child))
            icon_static = child;
    // Wine keeps an empty icon static in boxes without an icon (measured here).
    DWORD_PTR shown_icon = 0;
    if (icon_static) shown_icon = send_message(icon_static, STM_GETICON);
    if (!shown_icon) {
        static bool reported = false;
        if (!std::exchange(reported, true))
            report::figure("a box without an icon", icon_static ? "keeps an empty icon static" : "has no icon static");
        return BoxIcon::none;
    }

    RECT area;
    GetWindowRect(icon_static, &area);
    const int size = GetSystemMetrics(SM_CXICON);
    Canvas shown(size, size), drawn(size, size);
    shown.copy_screen(area.left, area.top);
    const COLORREF background = GetPixel(shown.dc(), 0, 0);

    const struct {
        LPCWSTR id;
        BoxIcon icon;
    } candidates[] = {{IDI_INFORMATION, BoxIcon::information}, {IDI_QUESTION, BoxIcon::question},
                      {IDI_ERROR, BoxIcon::error}, {IDI_WARNING, BoxIcon::other}};
    BoxIcon best = BoxIcon::other;
    long best_difference = size * size / 20;  // at most 5% of the pixels may differ
    for (const auto& candidate : candidates) {
        HBRUSH brush = CreateSolidBrush(background);
        RECT all{0, 0, size, size};
        FillRect(drawn.dc(), &all, brush);
        DeleteObject(brush);
        DrawIconEx(drawn.dc(), 0, 0, LoadIconW(nullptr, candidate.id), size, size, 0, nullptr, DI_NORMAL);
        long difference = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) difference += GetPixel(shown.dc(), x, y) != GetPixel(drawn.dc(), x, y);
        if (difference < best_difference) {
            best_difference = difference;
            best = candidate.icon;
        }
    }
    return best;
}

// The flags of a plain box that shows this icon and these buttons, which are all the program asks for.
UINT flags_shown(const Box& box)
{
    const UINT buttons = box.buttons == std::vector<int>{IDYES, IDNO} ? MB_YESNO : MB_OK;
    switch (box.icon) {
    case BoxIcon::information: return buttons | MB_ICONINFORMATION;
    case BoxIcon::question: return buttons | MB_ICONQUESTION;
    case BoxIcon::error: return buttons | MB_ICONERROR;
    default: break;
    }
    return buttons;
}

}  // namespace

Box Visit::wait_box(HWND except, DWORD deadline_ms) const
{
    Box box;
    box.window = wait_window([except](HWND window) { return window != except && is_message_box(window); }, deadline_ms);
    if (!box.window) {
        const DWORD code = wait_exit(0);
        ADD_FAILURE() << "no message box within " << deadline_ms << " ms (as long as this machine allows); the program "
                      << (!process_.hProcess       ? "never started"
                          : code == STILL_ACTIVE ? "runs and shows " + std::to_string(windows().size()) + " windows"
                                                 : "ended with exit code " + std::to_string(code));
        return box;
    }
    box.caption = window_text(box.window);
    box.text = window_text(GetDlgItem(box.window, 0xFFFF));
    box.buttons = box_buttons(box.window);
    // The icon is drawn once the box is on screen.
    wait_until([&] { return (box.icon = read_icon(box.window)) != BoxIcon::other; }, 2000);
    // Every box is a plain one: no owner, and only the styles its icon and buttons bring
    // (MB_TOPMOST adds WS_EX_TOPMOST, as Microsoft documents and Wine 10 does; Wine 8 ignores it,
    // measured here).
    const BoxStyles plain = plain_box_styles(flags_shown(box));
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), nullptr) << utf8(box.caption);
    EXPECT_EQ(GetWindowLongW(box.window, GWL_STYLE), plain.style) << utf8(box.caption);
    EXPECT_EQ(GetWindowLongW(box.window, GWL_EXSTYLE), plain.ex_style) << utf8(box.caption);
    return box;
}

void Visit::answer(const Box& box, int button_id) const
{
    HWND button = GetDlgItem(box.window, button_id);
    if (button)
        send_message(button, BM_CLICK);
    else
        PostMessageW(box.window, WM_COMMAND, button_id, 0);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(box.window); })) << "the box stayed open after button " << button_id;
}

Box Visit::expect_box(const std::wstring& caption, const std::wstring& text, int button_id) const
{
    Box box = wait_box();
    if (box.window && box.caption == caption && box.text == text) answer(box, button_id);
    return box;
}

HWND Visit::wait_form(DWORD deadline_ms) const { return wait_window(is_order_form, deadline_ms); }

HWND Visit::open_form() const
{
    for (int i = 0; i < 2; ++i) {
        Box box = wait_box();
        if (!box.window) return nullptr;
        answer(box, IDOK);
    }
    return wait_form();
}

DWORD Visit::wait_exit(DWORD deadline_ms) const
{
    if (!process_.hProcess) return STILL_ACTIVE;
    const DWORD limit = wait_time(deadline_ms);
    if (WaitForSingleObject(process_.hProcess, limit) != WAIT_OBJECT_0) {
        note_ran_out(limit);
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

HWND count_field(HWND form, int row) { return GetDlgItem(form, 1000 + 2 * row); }
HWND spin_control(HWND form, int row) { return GetDlgItem(form, 1001 + 2 * row); }
std::wstring field_text(HWND form, int row) { return window_text(count_field(form, row)); }


namespace {
POINT spin_arrow(HWND spin, bool up)
{
    RECT client;
    GetClientRect(spin, &client);
    return {client.right / 2, up ? client.bottom / 4 : client.bottom * 3 / 4};
}
}  // namespace

void click_spin(HWND form, int row, bool up)
{
    HWND spin = spin_control(form, row);
    const POINT arrow = spin_arrow(spin, up);
    send_message(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(arrow.x, arrow.y));
    send_message(spin, WM_LBUTTONUP, 0, MAKELPARAM(arrow.x, arrow.y));
}

void click_spin_on_screen(HWND form, int row, bool up)
{
    HWND spin = spin_control(form, row);
    POINT arrow = spin_arrow(spin, up);
    ClientToScreen(spin, &arrow);
    // The move comes in the same input as the click, so that the click lands where it moved.
    INPUT click[2]{};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dx = MulDiv(arrow.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    click[0].mi.dy = MulDiv(arrow.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    click[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    EXPECT_EQ(SendInput(2, click, sizeof *click), 2u);
}

void type_into(HWND form, int row, const std::wstring& digits)
{
    HWND field = count_field(form, row);
    send_message(field, EM_SETSEL, 0, -1);
    for (wchar_t digit : digits) send_message(field, WM_CHAR, digit, 1);
}

void paste_into(HWND form, int row, const std::wstring& text)
{
    HWND field = count_field(form, row);
    // Wine's clipboard manager opens the clipboard for a moment whenever it changes.
    if (!wait_until([] { return OpenClipboard(nullptr) != FALSE; }, 2000)) {
        ADD_FAILURE() << "the clipboard stayed in use";
        return;
    }
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
    send_message(field, EM_SETSEL, 0, -1);
    send_message(field, WM_PASTE);
}

void press_key(HWND form, int row, UINT virtual_key)
{
    // Posted, as the keyboard does: the form's message loop gives keys to the dialog manager.
    HWND field = count_field(form, row);
    PostMessageW(field, WM_KEYDOWN, virtual_key, 1);
    PostMessageW(field, WM_KEYUP, virtual_key, 0xC0000001);
}

void choose_command(HWND form, int command_id)
{
    // As a menu does, without waiting for a box the command may open; the WM_NULL that follows
    // comes back once the command has been handled or its box's modal loop runs.
    SendNotifyMessageW(form, WM_COMMAND, MAKEWPARAM(command_id, 0), 0);
    send_message(form, WM_NULL);
}

void close_window(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

Canvas::Canvas(int width, int height) : width_(width), height_(height)
{
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    BITMAPINFOHEADER header{sizeof header, width, -height, 1, 24, BI_RGB};
    bitmap_ = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &pixels_, nullptr, 0);
    old_bitmap_ = SelectObject(dc_, bitmap_);
    ReleaseDC(nullptr, screen);
}

Canvas::~Canvas()
{
    SelectObject(dc_, old_bitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

bool Canvas::copy_screen(int left, int top)
{
    // Layered windows, as the fade-out window is, are in the copy only with CAPTUREBLT
    // (documented; Windows XP and 7 without desktop composition leave them out).
    HDC screen = GetDC(nullptr);
    const bool copied = screen && BitBlt(dc_, 0, 0, width_, height_, screen, left, top, SRCCOPY | CAPTUREBLT);
    if (screen) ReleaseDC(nullptr, screen);
    GdiFlush();
    return copied && pixels_;
}

namespace {

// The canvas's pixels without the rows' padding.
Screenshot unpadded(const Canvas& canvas, int width, int height)
{
    Screenshot shot{width, height};
    shot.pixels.resize(3 * std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        std::memcpy(&shot.pixels[3 * std::size_t(width) * y], canvas.pixels() + std::size_t(canvas.stride()) * y,
                    3 * std::size_t(width));
    return shot;
}

// Where the window shows on the screen, if it does: not where DWM hides (cloaks) it, and
// without the invisible resize borders that Windows 10 and 11 count in its rectangle (DWM's
// extended frame bounds, documented). Those bounds are in physical pixels, which differ from
// what a program without DPI awareness is told on a scaled screen: they count only inside the
// window's rectangle. DWM is asked for at run time, as Windows XP has none.
bool shown_area(HWND window, RECT& area)
{
    using GetAttribute = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
    static const HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
    static const auto get_attribute =
        dwm ? reinterpret_cast<GetAttribute>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmGetWindowAttribute")))
            : nullptr;
    constexpr DWORD extended_frame_bounds = 9, cloaked = 14;
    DWORD hidden = 0;
    if (!IsWindowVisible(window) || IsIconic(window) || !GetWindowRect(window, &area)) return false;
    if (!get_attribute) return true;
    if (get_attribute(window, cloaked, &hidden, sizeof hidden) == S_OK && hidden) return false;
    RECT frame;
    if (get_attribute(window, extended_frame_bounds, &frame, sizeof frame) == S_OK && frame.left >= area.left &&
        frame.top >= area.top && frame.right <= area.right && frame.bottom <= area.bottom && frame.left < frame.right &&
        frame.top < frame.bottom)
        area = frame;
    return true;
}

}  // namespace

Screenshot take_screenshot()
{
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Canvas canvas(width, height);
    if (!canvas.copy_screen(0, 0)) return {width, height};
    return unpadded(canvas, width, height);
}

Screenshot take_picture(const Visit& visit)
{
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    // From the top of the Z order down: what of each of the program's windows no window above
    // it covers, whoever's that window is.
    HRGN shown = CreateRectRgn(0, 0, 0, 0), covered = CreateRectRgn(0, 0, 0, 0);
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        RECT area;
        if (!shown_area(window, area)) continue;
        HRGN part = CreateRectRgnIndirect(&area);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        CombineRgn(part, part, covered, RGN_DIFF);
        if (owner == visit.process_id()) CombineRgn(shown, shown, part, RGN_OR);
        CombineRgn(covered, covered, part, RGN_OR);
        DeleteObject(part);
    }
    HRGN screen = CreateRectRgn(0, 0, width, height);
    CombineRgn(shown, shown, screen, RGN_AND);
    DeleteObject(screen);
    DeleteObject(covered);
    RECT box;
    Screenshot picture;
    if (GetRgnBox(shown, &box) != NULLREGION) {
        Canvas canvas(box.right - box.left, box.bottom - box.top);
        HBRUSH hidden = CreateSolidBrush(not_the_program);
        const RECT all{0, 0, box.right - box.left, box.bottom - box.top};
        FillRect(canvas.dc(), &all, hidden);
        DeleteObject(hidden);
        OffsetRgn(shown, -box.left, -box.top);
        SelectClipRgn(canvas.dc(), shown);
        // A display changed while it was read leaves no picture of the old one.
        if (canvas.copy_screen(box.left, box.top) && width == GetSystemMetrics(SM_CXSCREEN) &&
            height == GetSystemMetrics(SM_CYSCREEN))
            picture = unpadded(canvas, all.right, all.bottom);
    }
    DeleteObject(shown);
    return picture;
}

bool Screenshot::save(const std::wstring& path) const
{
    const DWORD image_size = static_cast<DWORD>(pixels.size());
    BITMAPINFOHEADER header{sizeof header, width, -height, 1, 24, BI_RGB};
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof header + image_size), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof header};
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool saved = WriteFile(out, &file, sizeof file, &written, nullptr) &&
                       WriteFile(out, &header, sizeof header, &written, nullptr) &&
                       WriteFile(out, pixels.data(), image_size, &written, nullptr);
    CloseHandle(out);
    return saved;
}

namespace {

void append_big_endian(std::string& bytes, uLong value)
{
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
}

void append_chunk(std::string& file, const char* type, const std::string& data)
{
    append_big_endian(file, static_cast<uLong>(data.size()));
    const std::string typed = type + data;
    file += typed;
    append_big_endian(file, crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size())));
}

}  // namespace

bool Screenshot::save_png(const std::wstring& path) const
{
    if (width <= 0 || height <= 0 || pixels.size() != 3 * std::size_t(width) * height) return false;
    // Each row of red, green and blue after its filter byte (0: none).
    std::string rows;
    rows.reserve((3 * std::size_t(width) + 1) * height);
    for (std::size_t at = 0; at < pixels.size(); at += 3) {
        if (at % (3 * std::size_t(width)) == 0) rows += '\0';
        rows += {static_cast<char>(pixels[at + 2]), static_cast<char>(pixels[at + 1]), static_cast<char>(pixels[at])};
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(rows.data()),
                  static_cast<uLong>(rows.size()), Z_BEST_COMPRESSION) != Z_OK)
        return false;
    packed.resize(packed_size);
    std::string header, file = "\x89PNG\r\n\x1A\n";
    append_big_endian(header, static_cast<uLong>(width));
    append_big_endian(header, static_cast<uLong>(height));
    header += {8, 2, 0, 0, 0};  // 8 bits a colour, RGB, deflate, no filter method, no interlace
    append_chunk(file, "IHDR", header);
    append_chunk(file, "IDAT", packed);
    append_chunk(file, "IEND", "");
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool saved = WriteFile(out, file.data(), static_cast<DWORD>(file.size()), &written, nullptr) &&
                       written == file.size();
    CloseHandle(out);
    if (!saved) DeleteFileW(path.c_str());
    return saved;
}

BYTE opacity(HWND window)
{
    BYTE alpha = 0;
    DWORD flags = 0;
    return GetLayeredWindowAttributes(window, nullptr, &alpha, &flags) && (flags & LWA_ALPHA) ? alpha : 0;
}

TimerTicks::TimerTicks(const Visit& visit)
{
    WNDCLASSW listening{};
    listening.lpfnWndProc = DefWindowProcW;
    listening.lpszClassName = L"NuporakuTimerTicks";
    RegisterClassW(&listening);
    listener_ = CreateWindowExW(0, listening.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    module_ = LoadLibraryW((test_folder() + L"nuporaku_timer_hook.dll").c_str());
    const auto hook = module_ ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module_, "timer_hook"))) : nullptr;
    if (listener_ && hook) hook_ = SetWindowsHookExW(WH_GETMESSAGE, hook, module_, visit.thread_id());
    EXPECT_TRUE(hook_) << "no hook in the program's thread (error " << GetLastError() << ", "
                       << (module_ ? "" : "no nuporaku_timer_hook.dll beside the test program, ") << "listener " << listener_ << ")";
}

TimerTicks::~TimerTicks()
{
    if (hook_) UnhookWindowsHookEx(hook_);
    if (module_) FreeLibrary(module_);
    if (listener_) DestroyWindow(listener_);
}

std::vector<int> TimerTicks::levels()
{
    std::vector<int> posted;
    MSG message;
    while (listener_ && PeekMessageW(&message, listener_, WM_APP, WM_APP, PM_REMOVE))
        posted.push_back(static_cast<int>(message.wParam));
    return posted;
}

COLORREF wait_for_green(POINT point, DWORD deadline_ms)
{
    COLORREF shown = 0;
    Canvas pixel(1, 1);
    wait_until(
        [&] {
            pixel.copy_screen(point.x, point.y);
            shown = GetPixel(pixel.dc(), 0, 0);
            // Not yet while it is blank: white before its first paint (measured under Wine).
            return GetGValue(shown) >= 128 && GetRValue(shown) < 128 && GetBValue(shown) < 128;
        },
        deadline_ms);
    return shown;
}

MenuFont::MenuFont(int percent)
{
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, saved_.cbSize, &saved_, 0);
    NONCLIENTMETRICSW metrics = saved_;
    metrics.lfMenuFont.lfHeight = metrics.lfMenuFont.lfHeight * percent / 100;
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
}

MenuFont::~MenuFont() { SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, saved_.cbSize, &saved_, 0); }

}  // namespace e2e
