// Every screen a visit can show, compared pixel by pixel with a reviewed picture of the whole
// screen: what the program shows and where. The references are tests/e2e/pictures/*.png, built
// into raw pixels beside this program (pictures/reference/); scripts/screenshots.sh makes them
// anew from the captures this test leaves in pictures/.
#include "driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

using namespace e2e;

namespace {

std::wstring pictures_folder()
{
    wchar_t path[MAX_PATH];
    std::wstring folder(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"pictures\\";
}

std::string read_file(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string environment(const char* name)
{
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length < sizeof value ? std::string(value, length) : std::string();
}

std::wstring wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

struct Screen {
    const char* name;
    std::function<HWND(const Visit&)> show;  // plays the visit up to the screen; returns its window
    const wchar_t* tail = L"";
    int menu_font_percent = 100;
};

void PrintTo(const Screen& screen, std::ostream* out) { *out << screen.name; }

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
    {"help", [](const Visit& visit) { return visit.wait_box().window; }, L"/?"},
    {"title", [](const Visit& visit) { return visit.wait_box().window; }},
    {"greeting", [](const Visit& visit) { return next_box(visit, IDOK); }},
    {"order-form", [](const Visit& visit) { return visit.open_form(); }},
    {"order-form-filled", filled_form},
    {"order-form-two-row-menu", [](const Visit& visit) { return visit.open_form(); }, L"", 150},
    {"about", [](const Visit& visit) { return box_after(visit, false, [](HWND form) { choose_command(form, 104); }); }},
    {"takeout-question", takeout_question},
    {"receipt-take-out", [](const Visit& visit) { return takeout_question(visit) ? next_box(visit, IDYES) : nullptr; }},
    {"receipt-eat-in", [](const Visit& visit) { return takeout_question(visit) ? next_box(visit, IDNO) : nullptr; }},
    {"cannot-pay", [](const Visit& visit) { return box_after(visit, false, [](HWND form) { type_into(form, 3, L"99"); }); }},
    {"smile-overdone", [](const Visit& visit) { return box_after(visit, false, [](HWND form) { type_into(form, 9, L"99"); }); }},
    {"nothing-ordered", nothing_ordered},
    {"fade-out", fade_window},
};

// The pixels that differ by more than the tolerance in any colour; marked in `differences`.
long count_differences(const Screenshot& shot, const std::string& reference, int tolerance, Screenshot* differences)
{
    if (shot.pixels.size() != reference.size()) return -1;
    *differences = shot;
    long count = 0;
    for (std::size_t at = 0; at < reference.size(); at += 3) {
        bool differs = false;
        for (std::size_t colour = 0; colour < 3; ++colour)
            differs |= std::abs(shot.pixels[at + colour] - static_cast<BYTE>(reference[at + colour])) > tolerance;
        count += differs;
        for (std::size_t colour = 0; colour < 3; ++colour)  // red where it differs; elsewhere faint
            differences->pixels[at + colour] = differs ? (colour == 2 ? 255 : 0) : 192 + shot.pixels[at + colour] / 4;
    }
    return count;
}

class Picture : public testing::TestWithParam<Screen> {};

// Only the program may change a picture: the pointer rests in a corner, the caret does not
// blink (the Wine prefix's setting), and the screen is read until it shows the reference or
// the deadline passes (a box is drawn after it appears, the last test's windows go).
TEST_P(Picture, MatchesItsReference)
{
    const Screen& screen = GetParam();
    const std::wstring folder = pictures_folder();
    const bool recording = !environment("NUPORAKU_PICTURES_RECORD").empty();
    std::string made_with;
    std::ifstream made_with_file((folder + L"reference\\made-with.txt").c_str());
    std::getline(made_with_file, made_with);
    const std::string setup = environment("NUPORAKU_PICTURE_SETUP");
    if (!recording && setup != made_with)
        GTEST_SKIP() << "the references were made with " << made_with << "; this machine has "
                     << (setup.empty() ? "an unknown setup" : setup);
    const std::wstring name = wide(screen.name);
    const std::string reference = read_file(folder + L"reference\\" + name + L".bgr");

    std::optional<MenuFont> menu_font;
    if (screen.menu_font_percent != 100) menu_font.emplace(screen.menu_font_percent);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    Visit visit(screen.tail);
    HWND window = screen.show(visit);
    ASSERT_TRUE(window) << screen.name << " was not shown";

    // The green window may show what lies behind it as far as its opacity lets it; other
    // windows are opaque.
    const BYTE level = opacity(window);
    const int tolerance = level ? 255 - level : 0;
    Screenshot shot, previous, differences;
    long differing = -1;
    const bool matched = wait_until(
        [&] {
            previous = std::move(shot);
            shot = take_screenshot();
            if (recording) return !shot.pixels.empty() && shot.pixels == previous.pixels;
            return (differing = count_differences(shot, reference, tolerance, &differences)) == 0;
        },
        recording ? 2000 : 5000);
    EXPECT_TRUE(shot.save(folder + name + L".bmp"));
    DeleteFileW((folder + name + L"-differences.bmp").c_str());
    if (recording) {
        EXPECT_TRUE(matched) << screen.name << " did not stay still";
    } else if (!matched) {
        differences.save(folder + name + L"-differences.bmp");
        ADD_FAILURE() << screen.name << ": "
                      << (differing < 0 ? "no reference of the screen's size" : std::to_string(differing) + " pixels differ")
                      << "; see " << utf8(folder + name) << ".bmp and " << utf8(folder + name) << "-differences.bmp";
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, Picture, testing::ValuesIn(screens), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
});

}  // namespace
