// The one command-line switch: help, asked for by the whole tail being "/?" or "-?".
#pragma once

#include <string_view>

namespace nuporaku {

// An exact comparison: no trimming, no case or linguistic folding, so "/? " is no help request.
constexpr bool is_help_request(std::u16string_view tail) { return tail == u"/?" || tail == u"-?"; }

}  // namespace nuporaku
