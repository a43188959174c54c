// Fuzzes reading a count field's text: the input bytes are UTF-16LE units (an odd last byte is
// dropped), and every reading is checked against a plain string-based reading written here.
#include "count_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string_view>

namespace {

constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "count_text_fuzz: %s\n", what);
    __builtin_trap();
}

void check(bool holds, const char* what)
{
    if (!holds) fail(what);
}

// What the field's text should read as, worked out on the digit run as a string.
struct Reading {
    bool is_number = false;  // blanks* digits+ blanks*, the whole text
    std::u16string digits;   // the digit run in ASCII without its leading zeros ("" for zero)
    std::int32_t count = 0;
};

// Full-width digits (U+FF10 to U+FF19) as their ASCII digits; every other unit as it is.
char16_t narrow(char16_t unit) { return unit >= 0xFF10 && unit <= 0xFF19 ? unit - 0xFF10 + 0x30 : unit; }
bool is_digit(char16_t unit) { return narrow(unit) >= 0x30 && narrow(unit) <= 0x39; }

Reading read_independently(std::u16string_view text)
{
    Reading reading;
    constexpr std::u16string_view blanks = u" \t\u3000";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::u16string_view::npos) return reading;  // empty or only blanks
    std::size_t last = text.find_last_not_of(blanks);        // last >= first
    std::u16string_view run = text.substr(first, last - first + 1);
    for (char16_t unit : run)
        if (!is_digit(unit)) return reading;  // a sign, an inner blank, a letter (full-width too)...

    reading.is_number = true;
    for (char16_t unit : run)
        if (narrow(unit) != 0x30 || !reading.digits.empty()) reading.digits += narrow(unit);

    // Compare against the largest count as text: more digits, or as many but greater, saturates.
    constexpr std::u16string_view largest_text = u"2147483647";
    if (reading.digits.size() > largest_text.size() ||
        (reading.digits.size() == largest_text.size() && reading.digits > largest_text)) {
        reading.count = largest;
        return reading;
    }
    std::int64_t value = 0;
    for (char16_t unit : reading.digits) value = value * 10 + (unit - 0x30);
    reading.count = static_cast<std::int32_t>(value);
    return reading;
}

// "At least 99" decided on the text alone: three or more significant digits, or exactly "99".
bool reaches_99(const Reading& reading)
{
    return reading.is_number && (reading.digits.size() > 2 || reading.digits == u"99");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t length = size / 2;
    // Exactly sized on the heap, so that reading one unit past the text is an ASan report.
    std::unique_ptr<char16_t[]> units(new char16_t[length]);
    for (std::size_t i = 0; i < length; ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const std::u16string_view text(units.get(), length);

    const std::int32_t count = nuporaku::parse_count(text);
    const Reading expected = read_independently(text);

    check(count >= 0, "a count is never negative");
    check(count != 0 || !expected.is_number || expected.digits.empty(), "a non-zero number read as 0");
    check(count == 0 || expected.is_number, "text that is not blanks, digits, blanks read as non-zero");
    check((count >= 99) == reaches_99(expected), "reading 99 or more disagrees with the digits");
    check(count == expected.count, "the count differs from the digits' value");

    // Blanks around the text never change its reading.
    if (length > 0 && length < 64) {
        std::unique_ptr<char16_t[]> padded(new char16_t[length + 2]);
        padded[0] = length % 2 ? u'\t' : u'\u3000';
        for (std::size_t i = 0; i < length; ++i) padded[i + 1] = units[i];
        padded[length + 1] = u' ';
        check(nuporaku::parse_count({padded.get(), length + 2}) == count,
              "surrounding blanks changed the count");
    }
    return 0;
}
