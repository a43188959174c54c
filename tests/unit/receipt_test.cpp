#include "receipt.h"

#include <gtest/gtest.h>

#include <memory>

using namespace nuporaku;

namespace {

std::u16string receipt_for(std::array<std::int32_t, menu_size> counts, bool takeout)
{
    auto receipt = std::make_unique<ReceiptText>();
    compose_receipt(OrderRecord{counts}, takeout, *receipt);
    EXPECT_EQ(receipt->units[receipt->length], u'\0');
    return std::u16string(receipt->view());
}

struct ReceiptCase {
    const char* name;
    std::array<std::int32_t, menu_size> counts;
    bool takeout;
    std::u16string_view text;
};

const ReceiptCase receipt_cases[] = {
    {"eat in", {2, 0, 0, 0, 0, 0, 0, 1, 0, 1}, false, u"ハンバーガーハンバーガーコーラケラケラ"},
    {"take out", {2, 0, 0, 0, 0, 0, 0, 1, 0, 1}, true, u"ハンバーガーハンバーガーコーラむひひひ"},
    {"only smiles", {0, 0, 0, 0, 0, 0, 0, 0, 0, 3}, false, u"ケラケラケラケラケラケラ"},
    {"medium fries", {0, 0, 0, 0, 0, 2}, true, u"ポテト Ｍポテト Ｍ"},
    {"menu order, laughter last", {0, 0, 0, 1, 1, 0, 1, 0, 1, 1}, true,
     u"ビッグヌポラポテト Ｌポテト Ｓミックスシェイクむひひひ"},
    {"negative count", {0, 0, -7}, false, u""},
    {"negative smile", {1, 0, 0, 0, 0, 0, 0, 0, 0, INT32_MIN}, false, u"ハンバーガー"},
};

}  // namespace

TEST(Receipt, WritesEachUnitAsItsWord)
{
    for (const ReceiptCase& c : receipt_cases) EXPECT_EQ(receipt_for(c.counts, c.takeout), c.text) << c.name;
}

TEST(Receipt, CaptionSaysGoodbye)
{
    EXPECT_EQ(receipt_caption(false), u"Bye bye!ヌポラWorld");
    EXPECT_EQ(receipt_caption(true), u"Bye bye!ヌポラWorldお持ち帰り\uFF5E\u266A");
}

TEST(Receipt, LargestAcceptedOrderFitsWithRoomToSpare)
{
    std::array<std::int32_t, menu_size> counts;
    counts.fill(98);
    std::size_t expected = 0;
    for (std::size_t i = 0; i < smile_index; ++i) expected += 98 * menu_labels[i].size();
    expected += 98 * laughter_word(true).size();
    const std::u16string text = receipt_for(counts, true);
    EXPECT_EQ(text.size(), expected);
    EXPECT_LT(text.size() + menu_labels[2].size(), receipt_capacity - 1);  // another word would still fit
    EXPECT_EQ(text.substr(0, 12), u"ハンバーガーハンバーガー");
    EXPECT_EQ(text.substr(text.size() - 4), u"むひひひ");
}

TEST(Receipt, StaysBoundedWhateverTheCounts)
{
    std::array<std::int32_t, menu_size> counts;
    counts.fill(INT32_MAX);
    const std::u16string text = receipt_for(counts, false);
    EXPECT_LT(text.size(), receipt_capacity);
    EXPECT_GT(text.size(), receipt_capacity - 1 - menu_labels[0].size());  // filled with whole words
    EXPECT_EQ(text.find(menu_labels[1]), std::u16string::npos);           // the first item filled it
    EXPECT_EQ(text.size() % menu_labels[0].size(), 0u);
}

TEST(Receipt, AppendKeepsRoomForTheTerminator)
{
    auto receipt = std::make_unique<ReceiptText>();
    const std::u16string long_word(receipt_capacity - 1, u'x');
    EXPECT_FALSE(receipt->append(std::u16string(receipt_capacity, u'x')));
    EXPECT_EQ(receipt->length, 0u);
    EXPECT_TRUE(receipt->append(long_word));
    EXPECT_FALSE(receipt->append(u"y"));
    EXPECT_EQ(receipt->length, receipt_capacity - 1);
    EXPECT_EQ(receipt->units.back(), u'\0');
}
