// Passing the portable UTF-16 texts to the wide-character Windows functions.
#pragma once

#include "resource.h"

#include <string_view>

namespace nuporaku {

inline constexpr wchar_t program_title[] = L"" NUPORAKU_TITLE;

// On Windows, wchar_t and char16_t are both UTF-16 code units. Every view passed here ends
// at a terminator (string literals and the receipt buffer), so the pointer is a C string.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline const wchar_t* wide(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }

}  // namespace nuporaku
