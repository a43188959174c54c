#include "count_text.h"

#include <gtest/gtest.h>

using nuporaku::parse_count;

namespace {

struct CountTextCase {
    std::u16string_view text;
    std::int32_t count;
};

const CountTextCase count_text_cases[] = {
    {u"", 0},
    {u"0", 0},
    {u"98", 98},
    {u"99", 99},
    {u"100", 100},
    {u"007", 7},
    {u" 12\t", 12},
    {u"2147483647", INT32_MAX},
    {u"2147483648", INT32_MAX},   // too large for a count: over the limit, never negative
    {u"3000000000", INT32_MAX},
    {u"4294967296", INT32_MAX},   // past 32 bits: still not 0
    {u"99999999999999999999999999999999999999999999", INT32_MAX},
    {u"00000000000000000000000000000000000000000042", 42},
    {u"-5", 0},
    {u"+5", 0},
    {u"12abc", 0},
    {u"abc", 0},
    {u"1 2", 0},
    {u" ", 0},
    // As a Japanese input method types them: full-width digits and the ideographic space.
    {u"１２", 12},
    {u"1２", 12},
    {u"０９９", 99},
    {u"\u3000７\u3000", 7},
    {u"４２９４９６７２９６", INT32_MAX},
    {u"\u3000", 0},
    {u"\uFF0F", 0},  // the units on either side of the full-width digits
    {u"\uFF1A", 0},
    {u"１ａ", 0},
};

}  // namespace

TEST(CountText, ReadsUnsignedDecimalsAndSaturates)
{
    for (const CountTextCase& c : count_text_cases)
        EXPECT_EQ(parse_count(c.text), c.count) << std::string(c.text.begin(), c.text.end()).c_str();
}
