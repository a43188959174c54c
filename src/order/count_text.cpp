#include "count_text.h"

#include <limits>

namespace nuporaku {

namespace {
constexpr bool is_blank(char16_t unit) { return unit == u' ' || unit == u'\t'; }
constexpr bool is_digit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }
}  // namespace

std::int32_t parse_count(std::u16string_view text)
{
    constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();
    std::size_t at = 0;
    while (at < text.size() && is_blank(text[at])) ++at;
    const std::size_t digits_start = at;
    std::int32_t value = 0;
    for (; at < text.size() && is_digit(text[at]); ++at) {
        const std::int32_t digit = text[at] - u'0';
        value = value > (largest - digit) / 10 ? largest : value * 10 + digit;
    }
    if (at == digits_start) return 0;
    while (at < text.size() && is_blank(text[at])) ++at;
    return at == text.size() ? value : 0;
}

}  // namespace nuporaku
