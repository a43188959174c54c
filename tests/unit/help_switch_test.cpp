#include "help_switch.h"

#include <gtest/gtest.h>

#include <string>

TEST(HelpSwitch, OnlyTheExactWholeTail)
{
    for (std::u16string_view tail : {u"/?", u"-?"}) EXPECT_TRUE(nuporaku::is_help_request(tail));
    for (std::u16string_view tail : {u"", u"/h", u"--?", u"/?/?", u"/? ", u" /?", u"?", u"/", u"/\uFF1F",
                                     u"/?\u00AD", u"-? x"})
        EXPECT_FALSE(nuporaku::is_help_request(tail));
}

TEST(CommandTail, FollowsTheProgramPathAndItsBlanks)
{
    const std::u16string long_line = u"x.exe" + std::u16string(31990, u' ') + u"/?";
    const std::u16string surrogate_tail = u"x.exe /?\xD800";
    const struct {
        const char* name;
        const char16_t* line;
        std::u16string_view tail;
    } cases[] = {
        {"empty line", u"", u""},
        {"unquoted path", u"C:\\nuporaku.exe /?", u"/?"},
        {"quoted path with blanks", u"\"C:\\Program Files\\nuporaku.exe\" /?", u"/?"},
        {"blanks and tabs", u"x.exe \t \t-?", u"-?"},
        {"control characters as blanks", u"x.exe\x01\x1f\x0d\x0a/?", u"/?"},
        {"quote opened inside the path", u"C:\\a\"b c\"\\x.exe /?", u"/?"},
        {"quote never closed", u"\"C:\\x.exe /?", u""},
        {"lone quote", u"\"", u""},
        {"switch glued to the path", u"\"C:\\x.exe\"/?", u""},
        {"trailing blank kept", u"x.exe /? ", u"/? "},
        {"only blanks and control characters", u" \t\x01\x1f ", u""},
        {"blank before the path", u" x.exe /?", u"x.exe /?"},
        {"32,000 characters", long_line.c_str(), u"/?"},
        {"lone surrogate", surrogate_tail.c_str(), u"/?\xD800"},
        {"no line at all", nullptr, u""},
    };
    for (const auto& c : cases) EXPECT_EQ(nuporaku::command_tail(c.line), c.tail) << c.name;
}
