// Reads nuporaku.exe's resources the way Windows does (the file loaded as data, FindResourceExW)
// and takes their binary templates apart: dialog, menu, icon group and icon image.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace resource_check {

using Bytes = std::span<const std::uint8_t>;

// NUPORAKU_EXE if set, otherwise nuporaku.exe in the build folder that holds tests/exe/.
std::wstring program_path();
// The program loaded as a data file (null if it cannot be), for the resource functions.
HMODULE program_module();
// The raw bytes of resource (type, id) in exactly that language; empty if there is none.
Bytes find_resource(const wchar_t* type, WORD id, WORD language);
// Why find_resource can find nothing at all: empty if the program loaded as a data file.
std::string load_problem();

// UTF-8 for readable failure messages; a lone surrogate keeps its own three bytes, so different
// UTF-16 strings never read the same.
std::string utf8(std::u16string_view text);

// A name-or-ordinal field of a template: 0xFFFF followed by a number, or a zero-terminated string
// (the empty string being "none").
struct NameOrId {
    std::optional<WORD> ordinal;
    std::u16string text;
    bool operator==(const NameOrId&) const = default;
};
inline NameOrId ordinal(WORD id) { return {id, {}}; }
inline NameOrId text(std::u16string_view value) { return {std::nullopt, std::u16string(value)}; }
void PrintTo(const NameOrId& value, std::ostream* out);

// Little-endian fields in order; reading past the end yields zeros and sets overrun().
class Reader {
public:
    explicit Reader(Bytes data) : data_(data) {}
    std::uint8_t byte() { return read<std::uint8_t>(); }
    WORD word() { return read<WORD>(); }
    DWORD dword() { return read<DWORD>(); }
    std::int16_t coordinate() { return read<std::int16_t>(); }
    std::int32_t long_value() { return read<std::int32_t>(); }
    Bytes bytes(std::size_t count);
    std::u16string string();
    NameOrId name_or_id();
    void align(std::size_t alignment) { skip((alignment - offset_ % alignment) % alignment); }
    void skip(std::size_t count) { bytes(count); }
    std::size_t left() const { return data_.size() - offset_; }
    Bytes rest() const { return data_.subspan(offset_); }
    bool overrun() const { return overrun_; }

private:
    template <class T> T read();
    Bytes data_;
    std::size_t offset_ = 0;
    bool overrun_ = false;
};

// DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items (each starting on a DWORD boundary).
struct DialogItem {
    DWORD help_id, ex_style, style;
    std::int16_t x, y, cx, cy;
    DWORD id;
    NameOrId window_class, title;
    WORD extra_count;
};
struct Dialog {
    WORD version, signature;
    DWORD help_id, ex_style, style;
    WORD item_count;
    std::int16_t x, y, cx, cy;
    NameOrId menu, window_class;
    std::u16string title;
    WORD point_size;
    WORD weight;
    std::uint8_t italic, charset;
    std::u16string typeface;
    std::vector<DialogItem> items;
    bool truncated;
};
Dialog parse_dialog(Bytes data);

// A standard menu template: header, then entries; a popup's entries follow its own, and MF_END
// marks the last entry of each level. Commands carry an id, popups none.
struct MenuEntry {
    WORD flags;
    WORD id;
    std::u16string text;
    std::vector<MenuEntry> children;
};
struct Menu {
    WORD version, header_size;
    std::vector<MenuEntry> entries;
    Bytes trailing;  // whatever follows the last entry
    bool truncated;
};
Menu parse_menu(Bytes data);

// RT_GROUP_ICON: GRPICONDIR and its 14-byte GRPICONDIRENTRY records.
struct IconGroupEntry {
    std::uint8_t width, height, colour_count, reserved;
    WORD planes, bit_count;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type;
    std::vector<IconGroupEntry> entries;
    bool truncated;
};
IconGroup parse_icon_group(Bytes data);

// RT_ICON: BITMAPINFOHEADER, palette, colour bits, AND mask. Pixels are decoded (top row first)
// only for uncompressed 4-bit images.
struct Pixel {
    bool opaque;
    std::uint8_t red, green, blue;
};
struct IconImage {
    DWORD header_size;
    std::int32_t width, height;
    WORD planes, bit_count;
    DWORD compression, colours_used;
    std::size_t palette_size;
    std::vector<Pixel> pixels;
    std::size_t trailing;  // bytes after the mask
    bool truncated;
};
IconImage parse_icon_image(Bytes data);

}  // namespace resource_check
