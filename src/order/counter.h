// The counter's message boxes: the verdict, the takeout question and the receipt.
#pragma once

#include "catalogue.h"
#include "judgement.h"

namespace nuporaku {

void show_verdict_message(Verdict verdict);
bool ask_takeout();
void serve_receipt(const OrderRecord& order, bool takeout);

}  // namespace nuporaku
