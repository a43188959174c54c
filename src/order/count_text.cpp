#include "count_text.h"

#include <limits>

namespace nuporaku {

namespace {
// A Japanese input method types full-width digits and the ideographic space: they count as the
// digits and the blank they show.
constexpr bool is_blank(char16_t unit) { return unit == u' ' || unit == u'\t' || unit == u'\u3000'; }
constexpr int digit_value(char16_t unit)
{
    if (unit >= u'0' && unit <= u'9') return unit - u'0';
    if (unit >= u'\uFF10' && unit <= u'\uFF19') return unit - u'\uFF10';
    return -1;
}
}  // namespace

std::int32_t parse_count(std::u16string_view text)
{
    constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();
    std::size_t at = 0;
    while (at < text.size() && is_blank(text[at])) ++at;
    const std::size_t digits_start = at;
    std::int32_t value = 0;
    for (int digit; at < text.size() && (digit = digit_value(text[at])) >= 0; ++at)
        value = value > (largest - digit) / 10 ? largest : value * 10 + digit;
    if (at == digits_start) return 0;
    while (at < text.size() && is_blank(text[at])) ++at;
    return at == text.size() ? value : 0;
}

}  // namespace nuporaku
