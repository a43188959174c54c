// Reading a count field's text as a count.
#pragma once

#include <cstdint>
#include <string_view>

namespace nuporaku {

// An unsigned decimal number, blanks allowed around it; full-width digits and the ideographic
// space count as the digits and the blank they show. Empty or non-numeric text reads as 0; a
// number too large for a count reads as the largest count, which is over the order limit.
std::int32_t parse_count(std::u16string_view text);

}  // namespace nuporaku
