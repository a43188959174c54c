// What the counter decides about a finished order, and what it says when it refuses.
#pragma once

#include "catalogue.h"

namespace nuporaku {

enum class Verdict { NothingOrdered, CannotPay, SmileOverdone, Accepted };

// Rules in order, first match wins: all zero; a paid item at the limit; the smile at the limit.
constexpr Verdict judge(const OrderRecord& order)
{
    if (order.is_empty()) return Verdict::NothingOrdered;
    for (std::size_t i = 0; i < menu_size; ++i)
        if (is_paid(i) && order.reaches_limit(i)) return Verdict::CannotPay;
    if (order.reaches_limit(smile_index)) return Verdict::SmileOverdone;
    return Verdict::Accepted;
}

// The message of a refusal or of an empty order; empty for Accepted, which has none.
constexpr std::u16string_view verdict_message(Verdict verdict)
{
    switch (verdict) {
    case Verdict::NothingOrdered: return u"冷やかしですか...";
    case Verdict::CannotPay: return u"そんな金がどこにあるんだい!?\r\n\r\n追い出されてしまった...";
    case Verdict::SmileOverdone: return u"顔がひきつってしまいましたわぁ～ん。\r\n\r\n追い出されてしまった...";
    case Verdict::Accepted: break;
    }
    return {};
}

}  // namespace nuporaku
