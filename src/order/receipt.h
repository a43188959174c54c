// The receipt: every ordered unit written out as its label, the smiles as laughter.
#pragma once

#include "catalogue.h"

namespace nuporaku {

inline constexpr std::size_t receipt_capacity = 10240;  // UTF-16 units, terminator included

// A fixed text buffer whose appends can never run past its end. No member initialisers:
// a static instance is then plain zeroed storage rather than 20 KB of initialised data.
struct ReceiptText {
    std::array<char16_t, receipt_capacity> units;
    std::size_t length;

    // Appends the whole word if it fits with the terminator; otherwise appends nothing.
    bool append(std::u16string_view word);
    std::u16string_view view() const { return {units.data(), length}; }
};

std::u16string_view receipt_caption(bool takeout);

// Paid labels in menu order, each repeated by its count, then the laughter word per smile.
// Counts of zero or less write nothing. Starts from the empty text; stops cleanly when full.
void compose_receipt(const OrderRecord& order, bool takeout, ReceiptText& receipt);

}  // namespace nuporaku
