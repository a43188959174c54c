#include "receipt.h"

namespace nuporaku {

bool ReceiptText::append(std::u16string_view word)
{
    if (word.size() >= units.size() - length) return false;  // keep room for the terminator
    for (char16_t unit : word) units[length++] = unit;
    units[length] = u'\0';
    return true;
}

std::u16string_view receipt_caption(bool takeout)
{
    return takeout ? u"Bye bye!ヌポラWorldお持ち帰り～♪" : u"Bye bye!ヌポラWorld";
}

void compose_receipt(const OrderRecord& order, bool takeout, ReceiptText& receipt)
{
    receipt.length = 0;
    receipt.units[0] = u'\0';
    for (std::size_t i = 0; i < menu_size; ++i) {
        std::u16string_view word = is_paid(i) ? menu_labels[i] : laughter_word(takeout);
        // A failed append ends the receipt, even if a later, shorter word would still fit:
        // it stays the start of the order's words.
        for (std::int32_t unit = 0; unit < order.counts[i]; ++unit)
            if (!receipt.append(word)) return;
    }
}

}  // namespace nuporaku
