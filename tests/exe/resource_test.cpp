// nuporaku.exe's order form, menu and icons, read back from the built program as Windows reads
// them. The form's rows must carry the catalogue's labels and control identifiers exactly.
#include "catalogue.h"
#include "resource_reader.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <sstream>
#include <string>

using namespace resource_check;

namespace {

constexpr WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);  // 1041
constexpr WORD order_form = 103, order_menu = 109, app_icon = 107, waste_bin_icon = 130;

// The Japanese resource (type, id); a failure of the current test if there is none.
Bytes resource(const wchar_t* type, WORD id)
{
    const Bytes data = find_resource(type, id, japanese);
    if (data.empty()) {
        const std::string problem = load_problem();
        ADD_FAILURE() << (problem.empty() ? "no resource " + std::to_string(id) + " of type " +
                                                std::to_string(reinterpret_cast<std::uintptr_t>(type)) + " in language 1041"
                                          : problem);
    }
    return data;
}

// ---- The order form ----------------------------------------------------------------------------

struct ExpectedItem {
    DWORD style;
    int x, y, cx, cy;
    DWORD id;
    NameOrId window_class, title;
};

std::vector<ExpectedItem> expected_form_items()
{
    constexpr WORD button = 0x0080, edit = 0x0081, static_text = 0x0082;  // predefined class ordinals
    constexpr DWORD no_id = 0xFFFFFFFF;                                      // -1 in the resource script
    constexpr int label_widths[] = {35, 40, 44, 42, 23, 25, 24, 16, 38, 34};
    static_assert(std::size(label_widths) == nuporaku::menu_size);

    std::vector<ExpectedItem> items = {{0x50020080, 30, 10, 153, 8, no_id, ordinal(static_text),
                                        text(u"メニューです。\u3000欲しいものの個数を指定してください。")}};
    for (std::size_t i = 0; i < nuporaku::menu_size; ++i) {
        const int row = 14 * static_cast<int>(i);
        const auto field = static_cast<DWORD>(nuporaku::count_field_ids[i]);
        const auto spin = static_cast<DWORD>(nuporaku::spin_control_ids[i]);
        items.push_back({0x50020000, 27, 30 + row, label_widths[i], 8, no_id, ordinal(static_text),
                         text(nuporaku::menu_labels[i])});
        items.push_back({0x50812082, 79, 28 + row, 76, 14, field, ordinal(edit), text(u"")});
        items.push_back({0x50000036, 155, 28 + row, 10, 14, spin, text(u"msctls_updown32"), text(u"")});
    }
    items.push_back({0x50030001, 63, 174, 69, 25, 2, ordinal(button), text(u"注文完了!")});
    items.push_back({0x50000003, 166, 170, 18, 21, no_id, ordinal(static_text), ordinal(waste_bin_icon)});
    items.push_back({0x50020000, 162, 191, 26, 8, no_id, ordinal(static_text), text(u"疑似ごみ")});
    items.push_back({0x50000003, 6, 4, 20, 20, no_id, ordinal(static_text), ordinal(app_icon)});
    return items;
}

TEST(ResourceDialog, OrderFormIsAnExtendedTemplateWithItsMenuAndFont)
{
    const Bytes data = resource(RT_DIALOG, order_form);
    ASSERT_FALSE(data.empty());
    const Dialog dialog = parse_dialog(data);
    ASSERT_EQ(dialog.version, 1);
    ASSERT_EQ(dialog.signature, 0xFFFF) << "not a DLGTEMPLATEEX";
    EXPECT_FALSE(dialog.truncated);
    EXPECT_EQ(dialog.help_id, 0u);
    EXPECT_EQ(dialog.ex_style, 0u);
    EXPECT_EQ(dialog.style, 0x80C808C0u);
    EXPECT_EQ(dialog.item_count, 35);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 203);
    EXPECT_EQ(dialog.cy, 206);
    EXPECT_EQ(dialog.menu, ordinal(order_menu));
    EXPECT_EQ(dialog.window_class, text(u"")) << "expected the standard dialog class";
    EXPECT_EQ(utf8(dialog.title), utf8(u"ヌポラ for Windows"));
    EXPECT_EQ(dialog.point_size, 9);
    EXPECT_EQ(dialog.weight, 0);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, 1);
    EXPECT_EQ(utf8(dialog.typeface), utf8(u"MS UI Gothic"));
}

NameOrId class_key(NameOrId name)
{
    for (char16_t& unit : name.text)
        if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
    return name;
}

TEST(ResourceDialog, OrderFormItemsFollowTheCatalogue)
{
    const Bytes data = resource(RT_DIALOG, order_form);
    ASSERT_FALSE(data.empty());
    const Dialog dialog = parse_dialog(data);
    ASSERT_EQ(dialog.signature, 0xFFFF) << "not a DLGTEMPLATEEX";
    EXPECT_FALSE(dialog.truncated) << "the items run past the end of the resource";
    const std::vector<ExpectedItem> expected = expected_form_items();
    ASSERT_EQ(expected.size(), 35u);
    EXPECT_EQ(dialog.items.size(), expected.size());
    for (std::size_t i = 0; i < std::min(dialog.items.size(), expected.size()); ++i) {
        const DialogItem& item = dialog.items[i];
        const ExpectedItem& want = expected[i];
        std::ostringstream trace;
        trace << "item " << i << " (expected id " << static_cast<int>(want.id) << ", title " << testing::PrintToString(want.title) << ")";
        SCOPED_TRACE(trace.str());
        EXPECT_EQ(item.help_id, 0u);
        EXPECT_EQ(item.ex_style, 0u);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.id, want.id);
        // windres writes class names in capitals; window classes match without regard to case.
        EXPECT_EQ(class_key(item.window_class), class_key(want.window_class));
        EXPECT_EQ(item.title, want.title);
        EXPECT_EQ(item.extra_count, 0);
    }
}

INT_PTR CALLBACK inert_dialog_proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The template as this prefix's dialog manager lays it out, in the form's own font: every text
// static shows its text whole, and the client area is the template's 203 x 206 dialog units.
// It guards the template's widths, the font the prefix maps to and the prefix together.
TEST(ResourceDialog, OrderFormShowsEveryTextWhole)
{
    InitCommonControls();  // the spin controls' class
    HWND form = CreateDialogParamW(program_module(), MAKEINTRESOURCEW(order_form), nullptr, inert_dialog_proc, 0);
    ASSERT_TRUE(form) << "error " << GetLastError();
    RECT template_area{0, 0, 203, 206}, client;
    MapDialogRect(form, &template_area);
    GetClientRect(form, &client);
    EXPECT_EQ(client.right, template_area.right);
    EXPECT_EQ(client.bottom, template_area.bottom);

    HDC dc = GetDC(form);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(form, WM_GETFONT, 0, 0)));
    int text_statics = 0;
    for (HWND item = GetWindow(form, GW_CHILD); item; item = GetWindow(item, GW_HWNDNEXT)) {
        wchar_t class_name[16], label[64];
        GetClassNameW(item, class_name, 16);
        if (lstrcmpiW(class_name, L"Static") != 0 || (GetWindowLongW(item, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
        const int length = GetWindowTextW(item, label, 64);
        SIZE extent{};
        RECT area{};
        GetTextExtentPoint32W(dc, label, length, &extent);
        GetClientRect(item, &area);
        EXPECT_LE(extent.cx, area.right) << utf8(std::u16string_view(reinterpret_cast<const char16_t*>(label), length));
        ++text_statics;
    }
    EXPECT_EQ(text_statics, 12);
    ReleaseDC(form, dc);
    DestroyWindow(form);
}

// ---- The form's menu ---------------------------------------------------------------------------

// One line per entry, popups' entries under their popup's text: a readable, comparable form.
void describe(const std::vector<MenuEntry>& entries, const std::string& path, std::vector<std::string>& lines)
{
    for (const MenuEntry& entry : entries) {
        char numbers[48];
        std::snprintf(numbers, sizeof numbers, ": flags 0x%04X, id %u", entry.flags, entry.id);
        lines.push_back(path + utf8(entry.text) + numbers);
        describe(entry.children, path + utf8(entry.text) + " > ", lines);
    }
}

TEST(ResourceMenu, BarHasFileFourDeadEndsAndHelp)
{
    constexpr WORD popup = 0x10, end = 0x80;  // MF_POPUP, MF_END
    const std::vector<MenuEntry> bar = {
        {popup, 0, u"ファイル(&F)", {{end, 2, u"注文完了!(&X)", {}}}},
        {0, 0, u"編集(&E)", {}},
        {0, 0, u"表示(&V)", {}},
        {0, 0, u"ラベル(&L)", {}},
        {0, 0, u"特別(&S)", {}},
        {popup | end, 0, u"ヘルプ(&H)", {{end, 104, u"バージョン情報(&A)...", {}}}},
    };
    const Bytes data = resource(RT_MENU, order_menu);
    ASSERT_FALSE(data.empty());
    const Menu menu = parse_menu(data);
    EXPECT_EQ(menu.version, 0) << "expected a standard menu template, not MENUEX";
    EXPECT_EQ(menu.header_size, 0);
    EXPECT_FALSE(menu.truncated) << "an entry runs past the end of the resource";
    EXPECT_TRUE(std::all_of(menu.trailing.begin(), menu.trailing.end(), [](std::uint8_t b) { return b == 0; }) &&
                menu.trailing.size() < 4)
        << menu.trailing.size() << " bytes follow the last entry";

    std::vector<std::string> found, expected;
    describe(menu.entries, "", found);
    describe(bar, "", expected);
    EXPECT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < std::max(found.size(), expected.size()); ++i)
        EXPECT_EQ(i < found.size() ? found[i] : "(nothing)", i < expected.size() ? expected[i] : "(nothing)")
            << "menu entry " << i;
}

// ---- The icons ---------------------------------------------------------------------------------

// The images of an icon group, in the group's order, after checking the group and image formats:
// square, 4 bits per pixel, 16 colours, one plane, colour bitmap over an AND mask.
std::vector<IconImage> icon_images(WORD group_id, std::vector<int> sizes)
{
    const Bytes data = resource(RT_GROUP_ICON, group_id);
    if (data.empty()) return {};
    const IconGroup group = parse_icon_group(data);
    EXPECT_FALSE(group.truncated);
    EXPECT_EQ(group.reserved, 0);
    EXPECT_EQ(group.type, 1) << "not an icon group";
    std::vector<int> found_sizes;
    std::vector<IconImage> images;
    for (const IconGroupEntry& entry : group.entries) {
        SCOPED_TRACE("icon group " + std::to_string(group_id) + ", image " + std::to_string(entry.id));
        found_sizes.push_back(entry.width);
        EXPECT_EQ(entry.height, entry.width);
        EXPECT_EQ(entry.colour_count, 16);
        EXPECT_EQ(entry.reserved, 0);
        EXPECT_EQ(entry.planes, 1);
        EXPECT_EQ(entry.bit_count, 4);
        const Bytes bits = resource(RT_ICON, entry.id);
        if (bits.empty()) continue;
        EXPECT_EQ(bits.size(), entry.bytes);
        IconImage image = parse_icon_image(bits);
        EXPECT_FALSE(image.truncated);
        EXPECT_EQ(image.trailing, 0u);
        EXPECT_EQ(image.header_size, 40u);
        EXPECT_EQ(image.width, entry.width);
        EXPECT_EQ(image.height, 2 * entry.width) << "expected colour bitmap and mask";
        EXPECT_EQ(image.planes, 1);
        EXPECT_EQ(image.bit_count, 4);
        EXPECT_EQ(image.compression, static_cast<DWORD>(BI_RGB));
        EXPECT_TRUE(image.colours_used == 0 || image.colours_used == 16) << image.colours_used;
        EXPECT_EQ(image.palette_size, 16u);
        EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(entry.width * entry.width));
        images.push_back(std::move(image));
    }
    std::sort(found_sizes.rbegin(), found_sizes.rend());
    std::sort(sizes.rbegin(), sizes.rend());
    EXPECT_EQ(found_sizes, sizes) << "image sizes of icon group " << group_id;
    return images;
}

struct Census {
    std::size_t opaque = 0, transparent = 0;
    std::set<std::string> opaque_colours;  // as #RRGGBB
    std::set<std::string> transparent_colours;
};

Census census(const IconImage& image)
{
    Census counts;
    for (const Pixel& pixel : image.pixels) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02X%02X%02X", pixel.red, pixel.green, pixel.blue);
        ++(pixel.opaque ? counts.opaque : counts.transparent);
        (pixel.opaque ? counts.opaque_colours : counts.transparent_colours).insert(colour);
    }
    return counts;
}

std::string image_name(const IconImage& image)
{
    return std::to_string(image.width) + "x" + std::to_string(image.width) + " image";
}

TEST(ResourceIcon, ProgramIconIsABlackSilhouetteOnTransparency)
{
    const std::vector<IconImage> images = icon_images(app_icon, {32, 16});
    ASSERT_FALSE(images.empty());
    for (const IconImage& image : images) {
        SCOPED_TRACE(image_name(image));
        const Census counts = census(image);
        EXPECT_EQ(counts.opaque_colours, (std::set<std::string>{"#000000"}));
        // Transparent pixels need a black colour too, or they would invert the screen below.
        EXPECT_EQ(counts.transparent_colours, (std::set<std::string>{"#000000"}));
        const double share = static_cast<double>(counts.opaque) / static_cast<double>(image.pixels.size());
        EXPECT_GE(share, 0.15) << "hardly anything drawn";
        EXPECT_LE(share, 0.85) << "hardly any transparency";
    }
}

TEST(ResourceIcon, WasteBinIsGreyBlackAndRedOnTransparency)
{
    const std::vector<IconImage> images = icon_images(waste_bin_icon, {32});
    ASSERT_FALSE(images.empty());
    for (const IconImage& image : images) {
        SCOPED_TRACE(image_name(image));
        const Census counts = census(image);
        EXPECT_EQ(counts.opaque_colours, (std::set<std::string>{"#000000", "#C0C0C0", "#FF0000"}));
        EXPECT_EQ(counts.transparent_colours, (std::set<std::string>{"#000000"}));
        EXPECT_GT(counts.transparent, 0u);
    }
}

}  // namespace
