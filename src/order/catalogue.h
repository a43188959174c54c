// The counter's fixed menu and the one order record that the form fills.
// Portable: no platform headers, so the rules are tested natively.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace nuporaku {

inline constexpr std::size_t menu_size = 10;
inline constexpr std::size_t smile_index = 9;  // the only free item
inline constexpr std::int32_t order_limit = 99;

// Row labels of the form; rows 0 to 8 are also the receipt words.
inline constexpr std::array<std::u16string_view, menu_size> menu_labels = {
    u"ハンバーガー", u"チーズバーガー", u"テリヤキバーガー", u"ビッグヌポラ", u"ポテト Ｌ",
    u"ポテト Ｍ",   u"ポテト Ｓ",     u"コーラ",          u"ミックスシェイク", u"スマイル０円",
};

// Control identifiers: the count field of row i is 1000 + 2i, its spin control the next odd number.
inline constexpr std::array<int, menu_size> count_field_ids = {1000, 1002, 1004, 1006, 1008,
                                                               1010, 1012, 1014, 1016, 1018};
inline constexpr std::array<int, menu_size> spin_control_ids = {1001, 1003, 1005, 1007, 1009,
                                                                1011, 1013, 1015, 1017, 1019};

constexpr bool is_paid(std::size_t index) { return index != smile_index; }

// What the receipt writes once per smile, chosen by the takeout answer.
constexpr std::u16string_view laughter_word(bool takeout) { return takeout ? u"むひひひ" : u"ケラケラ"; }

// Ten signed counts in menu order. Zero-filled at start-up; only the form overwrites it.
struct OrderRecord {
    std::array<std::int32_t, menu_size> counts{};

    constexpr bool is_empty() const
    {
        for (std::int32_t count : counts)
            if (count != 0) return false;
        return true;
    }
    constexpr bool reaches_limit(std::size_t index) const { return counts[index] >= order_limit; }
};

}  // namespace nuporaku
