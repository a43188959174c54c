// Every screen a visit can show, compared pixel by pixel with a reviewed picture of the whole
// screen: what the program shows and where. The references are tests/e2e/pictures/SET/*.png, a
// set for each setup they were made with, built into raw pixels beside this program
// (pictures/reference/SET/); scripts/screenshots.sh makes this machine's set anew from the
// captures this test leaves in pictures/.
#include "driver.h"
#include "report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

using namespace e2e;

namespace {

std::string read_file(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct Screen {
    const wchar_t* name;  // of its reference picture, and of the test
    std::function<HWND(const Visit&)> show;  // plays the visit up to the screen; returns its window
    const wchar_t* tail = L"";
    int menu_font_percent = 100;
};

void PrintTo(const Screen& screen, std::ostream* out) { *out << utf8(screen.name); }

HWND first_box(const Visit& visit) { return visit.wait_box().window; }

HWND next_box(const Visit& visit, int button_id)
{
    visit.answer(visit.wait_box(), button_id);
    return visit.wait_box().window;
}

HWND filled_form(const Visit& visit)
{
    HWND form = visit.open_form();
    if (!form) return nullptr;
    for (int click = 0; click < 2; ++click) click_spin(form, 0);
    type_into(form, 4, L"1");
    type_into(form, 7, L"3");
    click_spin(form, 9);
    return form;
}

// The box that follows what is done to the form, as it opens or filled.
HWND box_after(const Visit& visit, bool filled, const std::function<void(HWND form)>& act)
{
    HWND form = filled ? filled_form(visit) : visit.open_form();
    if (!form) return nullptr;
    act(form);
    return visit.wait_box().window;
}

HWND takeout_question(const Visit& visit) { return box_after(visit, true, [](HWND form) { choose_command(form, 2); }); }
HWND nothing_ordered(const Visit& visit) { return box_after(visit, false, close_window); }

// Held still once it is painted: the fade would otherwise go on while the screen is compared,
// and the opacity the comparison allows for with it.
HWND fade_window(const Visit& visit)
{
    if (!nothing_ordered(visit)) return nullptr;
    visit.answer(visit.wait_box(), IDOK);
    HWND window = visit.wait_window(is_fade_window);
    RECT area;
    if (!window || !GetWindowRect(window, &area)) return nullptr;
    wait_for_green({(area.left + area.right) / 2, (area.top + area.bottom) / 2});
    SuspendThread(visit.thread());
    return window;
}

const Screen screens[] = {
    {L"help", first_box, L"/?"},
    {L"title", first_box},
    {L"greeting", [](const Visit& visit) { return next_box(visit, IDOK); }},
    {L"order_form", [](const Visit& visit) { return visit.open_form(); }},
    {L"order_form_filled", filled_form},
    {L"order_form_two_row_menu", [](const Visit& visit) { return visit.open_form(); }, L"", 150},
    {L"about", [](const Visit& visit) { return box_after(visit, false, [](HWND form) { choose_command(form, 104); }); }},
    {L"takeout_question", takeout_question},
    {L"receipt_take_out", [](const Visit& visit) { return takeout_question(visit) ? next_box(visit, IDYES) : nullptr; }},
    {L"receipt_eat_in", [](const Visit& visit) { return takeout_question(visit) ? next_box(visit, IDNO) : nullptr; }},
    {L"cannot_pay", [](const Visit& visit) { return box_after(visit, false, [](HWND form) { type_into(form, 3, L"99"); }); }},
    {L"smile_overdone", [](const Visit& visit) { return box_after(visit, false, [](HWND form) { type_into(form, 9, L"99"); }); }},
    {L"nothing_ordered", nothing_ordered},
    {L"fade_out", fade_window},
};

// The pixels that differ by more than the tolerance in any colour; marked in `differences`,
// where given.
long count_differences(const Screenshot& shot, const std::string& reference, int tolerance,
                       Screenshot* differences = nullptr)
{
    if (shot.pixels.size() != reference.size()) return -1;
    if (differences) *differences = shot;
    long count = 0;
    for (std::size_t at = 0; at < reference.size(); at += 3) {
        bool differs = false;
        for (std::size_t colour = 0; colour < 3; ++colour)
            differs |= std::abs(shot.pixels[at + colour] - static_cast<BYTE>(reference[at + colour])) > tolerance;
        count += differs;
        for (std::size_t colour = 0; differences && colour < 3; ++colour)  // red where it differs; elsewhere faint
            differences->pixels[at + colour] = differs ? (colour == 2 ? 255 : 0) : 192 + shot.pixels[at + colour] / 4;
    }
    return count;
}

// The set of references made with this machine's setup (Wine, fonts, screen): the folder under
// `references` whose made-with.txt says so. Empty if none; `known` then lists the sets' setups.
std::wstring matching_set(const std::wstring& references, const std::string& setup, std::string& known)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((references + L"*").c_str(), &found);
    std::wstring match;
    for (bool more = search != INVALID_HANDLE_VALUE; more && match.empty(); more = FindNextFileW(search, &found)) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || found.cFileName[0] == L'.') continue;
        std::string made_with;
        std::ifstream made_with_file((references + found.cFileName + L"\\made-with.txt").c_str());
        std::getline(made_with_file, made_with);
        if (!setup.empty() && made_with == setup) match = found.cFileName;
        known += (known.empty() ? "" : "; ") + utf8(found.cFileName) + ": " + made_with;
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return match;
}

// Whether the window has been drawn: a new window may show black where it stands before its
// first paint (under Wine 10, measured here, for up to about 70 ms), which no picture may keep.
bool drawn(const Screenshot& shot, HWND window)
{
    RECT area;
    if (shot.pixels.empty() || !GetWindowRect(window, &area)) return false;
    long black = 0, all = 0;
    for (LONG y = std::max(area.top, 0L); y < std::min(area.bottom, LONG(shot.height)); ++y)
        for (LONG x = std::max(area.left, 0L); x < std::min(area.right, LONG(shot.width)); ++x, ++all) {
            const BYTE* pixel = &shot.pixels[3 * (std::size_t(y) * shot.width + x)];
            black += !(pixel[0] | pixel[1] | pixel[2]);
        }
    return all > 0 && black * 2 < all;
}

class Picture : public testing::TestWithParam<Screen> {};

// Only the program may change a picture: the pointer rests in a corner, the caret does not
// blink (the Wine prefix's setting), and the screen is read, once the window has been drawn,
// until it shows the reference or the deadline passes (a box is drawn after it appears, the
// last test's windows go). A recording keeps a screen only once it has stayed the same for
// half a second.
TEST_P(Picture, MatchesItsReference)
{
    const Screen& screen = GetParam();
    const std::wstring folder = test_folder() + L"pictures\\", name = screen.name;
    std::string known;
    const std::string setup = environment("NUPORAKU_PICTURE_SETUP");
    const std::wstring set = matching_set(folder + L"reference\\", setup, known);
    const std::string no_set = "no reference pictures were made with this machine's setup, " +
                               (setup.empty() ? "which is unknown" : setup) + "; there are " + (known.empty() ? "none" : known);
    // Without them, a check kit's report keeps each screen for a person to look at.
    const bool for_report = set.empty() && !report::folder().empty();
    const bool recording = !environment("NUPORAKU_PICTURES_RECORD").empty() || for_report;
    if (!recording && set.empty()) GTEST_SKIP() << no_set;
    const std::string reference = read_file(folder + L"reference\\" + set + L"\\" + name + L".bgr");

    std::optional<MenuFont> menu_font;
    if (screen.menu_font_percent != 100) menu_font.emplace(screen.menu_font_percent);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    Visit visit(screen.tail);
    HWND window = screen.show(visit);
    ASSERT_TRUE(window) << utf8(name) << " was not shown";

    // The green window may show what lies behind it as far as its opacity lets it; other
    // windows are opaque.
    const BYTE level = opacity(window);
    const int tolerance = level ? 255 - level : 0;
    constexpr DWORD still_ms = 500;
    Screenshot shot, previous;
    long differing = -1;
    DWORD changed = GetTickCount();
    const bool matched = wait_until(
        [&] {
            previous = std::move(shot);
            shot = take_screenshot();
            if (!drawn(shot, window)) return false;
            if (!recording) return (differing = count_differences(shot, reference, tolerance)) == 0;
            if (shot.pixels != previous.pixels) changed = GetTickCount();
            return GetTickCount() - changed >= still_ms;
        },
        5000);
    if (for_report) {
        // For a person to look at, and to send: the program's windows, nothing else of their
        // screen. A caret that blinks (as on Windows) need not stay still.
        EXPECT_TRUE(drawn(shot, window)) << utf8(name) << " was not drawn";
        const std::wstring saved = report::folder() + L"pictures\\" + name + L".png";
        const Screenshot picture = take_picture(visit);
        if (picture.pixels.empty())
            ADD_FAILURE() << "the screen could not be read (a locked workstation, or a display that changed?); no "
                          << "picture of " << utf8(name) << " was kept";
        else
            EXPECT_TRUE(picture.save_png(saved)) << "cannot write " << utf8(saved);
        GTEST_SKIP() << no_set << "; the picture is in " << utf8(saved);
    }
    EXPECT_TRUE(shot.save(folder + name + L".bmp"));
    DeleteFileW((folder + name + L"-differences.bmp").c_str());
    if (recording) {
        EXPECT_TRUE(matched) << utf8(name) << " was not drawn, or did not stay still";
    } else if (!matched) {
        Screenshot differences;
        count_differences(shot, reference, tolerance, &differences);
        differences.save(folder + name + L"-differences.bmp");
        ADD_FAILURE() << utf8(name) << ": "
                      << (!drawn(shot, window) ? "the window was never drawn (mostly black)"
                          : differing < 0      ? "no reference of the screen's size"
                                               : std::to_string(differing) + " pixels differ")
                      << "; see " << utf8(folder + name) << ".bmp and " << utf8(folder + name) << "-differences.bmp";
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, Picture, testing::ValuesIn(screens), [](const auto& info) { return utf8(info.param.name); });

}  // namespace
