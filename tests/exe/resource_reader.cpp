#include "resource_reader.h"

#include <cstring>

namespace resource_check {

HMODULE program_module()
{
    static const HMODULE module = LoadLibraryExW(program_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::wstring program_path()
{
    wchar_t path[MAX_PATH];
    if (DWORD length = GetEnvironmentVariableW(L"NUPORAKU_EXE", path, MAX_PATH); length && length < MAX_PATH) return path;
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    // This program is <build>/tests/exe/nuporaku_resource_tests.exe: drop the file name, exe/ and tests/.
    std::wstring folder(path);
    for (int level = 0; level < 3; ++level) folder.resize(folder.find_last_of(L"\\/"));
    return folder + L"\\nuporaku.exe";
}

std::string load_problem()
{
    if (program_module()) return {};
    const std::wstring path = program_path();
    return "cannot load " + utf8(std::u16string(path.begin(), path.end())) + " as a data file (error " +
           std::to_string(GetLastError()) + ")";
}

Bytes find_resource(const wchar_t* type, WORD id, WORD language)
{
    const HMODULE module = program_module();
    const HRSRC info = module ? FindResourceExW(module, type, MAKEINTRESOURCEW(id), language) : nullptr;
    const HGLOBAL handle = info ? LoadResource(module, info) : nullptr;
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data) return {};
    return {static_cast<const std::uint8_t*>(data), SizeofResource(module, info)};
}

std::string utf8(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void PrintTo(const NameOrId& value, std::ostream* out)
{
    if (value.ordinal)
        *out << "ordinal " << *value.ordinal;
    else
        *out << '"' << utf8(value.text) << '"';
}

template <class T> T Reader::read()
{
    T value{};
    const Bytes field = bytes(sizeof value);
    if (!field.empty()) std::memcpy(&value, field.data(), sizeof value);
    return value;
}

Bytes Reader::bytes(std::size_t count)
{
    if (count > left()) {
        overrun_ = true;
        offset_ = data_.size();
        return {};
    }
    const Bytes field = data_.subspan(offset_, count);
    offset_ += count;
    return field;
}

std::u16string Reader::string()
{
    std::u16string value;
    while (WORD c = word()) value += static_cast<char16_t>(c);
    return value;
}

NameOrId Reader::name_or_id()
{
    const WORD first = word();
    if (first == 0xFFFF) return ordinal(word());
    std::u16string value;
    if (first) value = static_cast<char16_t>(first) + string();
    return text(value);
}

Dialog parse_dialog(Bytes data)
{
    Reader in(data);
    Dialog dialog{};
    dialog.version = in.word();
    dialog.signature = in.word();
    dialog.help_id = in.dword();
    dialog.ex_style = in.dword();
    dialog.style = in.dword();
    dialog.item_count = in.word();
    dialog.x = in.coordinate();
    dialog.y = in.coordinate();
    dialog.cx = in.coordinate();
    dialog.cy = in.coordinate();
    dialog.menu = in.name_or_id();
    dialog.window_class = in.name_or_id();
    dialog.title = in.string();
    if (dialog.style & DS_SETFONT) {  // DS_SHELLFONT includes it
        dialog.point_size = in.word();
        dialog.weight = in.word();
        dialog.italic = in.byte();
        dialog.charset = in.byte();
        dialog.typeface = in.string();
    }
    for (WORD i = 0; i < dialog.item_count && !in.overrun(); ++i) {
        in.align(4);
        DialogItem item{};
        item.help_id = in.dword();
        item.ex_style = in.dword();
        item.style = in.dword();
        item.x = in.coordinate();
        item.y = in.coordinate();
        item.cx = in.coordinate();
        item.cy = in.coordinate();
        item.id = in.dword();
        item.window_class = in.name_or_id();
        item.title = in.name_or_id();
        item.extra_count = in.word();
        in.skip(item.extra_count);
        if (!in.overrun()) dialog.items.push_back(item);
    }
    dialog.truncated = in.overrun();
    return dialog;
}

namespace {

std::vector<MenuEntry> parse_menu_level(Reader& in)
{
    std::vector<MenuEntry> entries;
    while (!in.overrun()) {
        MenuEntry entry{};
        entry.flags = in.word();
        if (!(entry.flags & MF_POPUP)) entry.id = in.word();
        entry.text = in.string();
        if (entry.flags & MF_POPUP) entry.children = parse_menu_level(in);
        entries.push_back(entry);
        if (entry.flags & MF_END) break;
    }
    return entries;
}

}  // namespace

Menu parse_menu(Bytes data)
{
    Reader in(data);
    Menu menu{};
    menu.version = in.word();
    menu.header_size = in.word();
    in.skip(menu.header_size);
    menu.entries = parse_menu_level(in);
    menu.trailing = in.rest();
    menu.truncated = in.overrun();
    return menu;
}

IconGroup parse_icon_group(Bytes data)
{
    Reader in(data);
    IconGroup group{};
    group.reserved = in.word();
    group.type = in.word();
    const WORD count = in.word();
    for (WORD i = 0; i < count && !in.overrun(); ++i) {
        IconGroupEntry entry{};
        entry.width = in.byte();
        entry.height = in.byte();
        entry.colour_count = in.byte();
        entry.reserved = in.byte();
        entry.planes = in.word();
        entry.bit_count = in.word();
        entry.bytes = in.dword();
        entry.id = in.word();
        if (!in.overrun()) group.entries.push_back(entry);
    }
    group.truncated = in.overrun();
    return group;
}

IconImage parse_icon_image(Bytes data)
{
    Reader in(data);
    IconImage image{};
    image.header_size = in.dword();
    image.width = in.long_value();
    image.height = in.long_value();
    image.planes = in.word();
    image.bit_count = in.word();
    image.compression = in.dword();
    in.skip(12);  // image size and resolution
    image.colours_used = in.dword();
    in.skip(4);  // important colours
    if (image.header_size > 40) in.skip(image.header_size - 40);
    image.palette_size = image.colours_used ? image.colours_used : image.bit_count <= 8 ? 1u << image.bit_count : 0;
    if (image.palette_size > 256) image.palette_size = 0;
    std::vector<Pixel> palette;
    for (std::size_t i = 0; i < image.palette_size; ++i) {
        const std::uint8_t blue = in.byte(), green = in.byte(), red = in.byte();
        in.byte();
        palette.push_back({false, red, green, blue});
    }
    const bool decodable = image.bit_count == 4 && image.compression == BI_RGB && image.width > 0 &&
                           image.width <= 256 && image.height > 0 && image.height <= 512 && image.height % 2 == 0;
    if (decodable) {
        const std::size_t width = static_cast<std::size_t>(image.width), height = static_cast<std::size_t>(image.height) / 2;
        const std::size_t colour_stride = (width * 4 + 31) / 32 * 4, mask_stride = (width + 31) / 32 * 4;
        const Bytes colours = in.bytes(colour_stride * height), mask = in.bytes(mask_stride * height);
        for (std::size_t y = 0; y < height && !in.overrun(); ++y) {
            const std::size_t row = height - 1 - y;  // bitmaps are stored bottom-up
            for (std::size_t x = 0; x < width; ++x) {
                const std::uint8_t packed = colours[row * colour_stride + x / 2];
                const std::size_t index = x % 2 ? packed & 0x0F : packed >> 4;
                Pixel pixel = index < palette.size() ? palette[index] : Pixel{};
                pixel.opaque = !(mask[row * mask_stride + x / 8] >> (7 - x % 8) & 1);
                image.pixels.push_back(pixel);
            }
        }
    }
    image.trailing = in.left();
    image.truncated = in.overrun();
    return image;
}

}  // namespace resource_check
