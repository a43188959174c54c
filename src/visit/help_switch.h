// The command line: the tail that follows the program's path, and the one switch in it, help,
// asked for by the whole tail being "/?" or "-?".
#pragma once

#include <cstddef>
#include <string_view>

namespace nuporaku {

// The tail of a whole command line (a terminated UTF-16 string, as the process was given it).
// The program's path ends at the first blank or control character outside double quotes, each
// quote toggling (and staying part of the path); the blanks and control characters after it are
// skipped; the rest, up to the terminator, is the tail.
constexpr std::u16string_view command_tail(const char16_t* line)
{
    if (!line) return {};
    constexpr auto is_blank = [](char16_t unit) { return unit <= u' '; };
    bool quoted = false;
    std::size_t start = 0;
    for (; line[start] && (quoted || !is_blank(line[start])); ++start)
        if (line[start] == u'"') quoted = !quoted;
    while (line[start] && is_blank(line[start])) ++start;
    std::size_t end = start;
    while (line[end]) ++end;
    return {line + start, end - start};
}

// An exact comparison: no trimming, no case or linguistic folding, so "/? " is no help request.
constexpr bool is_help_request(std::u16string_view tail) { return tail == u"/?" || tail == u"-?"; }

}  // namespace nuporaku
