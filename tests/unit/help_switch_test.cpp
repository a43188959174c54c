#include "help_switch.h"

#include <gtest/gtest.h>

TEST(HelpSwitch, OnlyTheExactWholeTail)
{
    for (std::u16string_view tail : {u"/?", u"-?"}) EXPECT_TRUE(nuporaku::is_help_request(tail));
    for (std::u16string_view tail : {u"", u"/h", u"--?", u"/?/?", u"/? ", u" /?", u"?", u"/", u"/\uFF1F",
                                     u"/?\u00AD", u"-? x"})
        EXPECT_FALSE(nuporaku::is_help_request(tail));
}
