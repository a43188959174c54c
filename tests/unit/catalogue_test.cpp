#include "catalogue.h"

#include <gtest/gtest.h>

using namespace nuporaku;

TEST(Catalogue, IdentifiersPairFieldsWithSpinControlsFrom1000)
{
    for (std::size_t i = 0; i < menu_size; ++i) {
        EXPECT_EQ(count_field_ids[i], 1000 + 2 * static_cast<int>(i));
        EXPECT_EQ(spin_control_ids[i], count_field_ids[i] + 1);
    }
}

TEST(Catalogue, OnlyTheLastRowIsFree)
{
    for (std::size_t i = 0; i < menu_size; ++i) EXPECT_EQ(is_paid(i), i != 9) << i;
    EXPECT_EQ(menu_labels[9], u"スマイル０円");
}

TEST(Catalogue, LabelsKeepTheirExactCharacters)
{
    EXPECT_EQ(menu_labels[3], u"ビッグヌポラ");
    // Fries: an ASCII space, then a full-width size letter.
    const char16_t sizes[] = {u'\uFF2C', u'\uFF2D', u'\uFF33'};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::u16string_view label = menu_labels[4 + i];
        ASSERT_EQ(label.size(), 5u);
        EXPECT_EQ(label.substr(0, 4), u"ポテト ");
        EXPECT_EQ(label[4], sizes[i]);
    }
    EXPECT_EQ(menu_labels[9][4], u'\uFF10');
}

TEST(OrderRecord, StartsEmptyAndReachesTheLimitAt99)
{
    OrderRecord order;
    EXPECT_TRUE(order.is_empty());
    const std::int32_t counts[] = {98, 99, 150, -1, INT32_MIN, INT32_MAX};
    const bool reaches[] = {false, true, true, false, false, true};
    for (std::size_t c = 0; c < std::size(counts); ++c) {
        order.counts[2] = counts[c];
        EXPECT_FALSE(order.is_empty());
        EXPECT_EQ(order.reaches_limit(2), reaches[c]) << counts[c];
    }
}

TEST(Catalogue, LaughterFollowsTheTakeoutAnswer)
{
    EXPECT_EQ(laughter_word(true), u"むひひひ");
    EXPECT_EQ(laughter_word(false), u"ケラケラ");
}
