#include "counter.h"

#include "receipt.h"
#include "win32_text.h"

#include <windows.h>

namespace nuporaku {

void show_verdict_message(Verdict verdict)
{
    MessageBoxW(nullptr, wide(verdict_message(verdict)), program_title, MB_ICONERROR);
}

bool ask_takeout()
{
    return MessageBoxW(nullptr, L"お持ち帰りですか？", program_title, MB_ICONQUESTION | MB_YESNO) == IDYES;
}

void serve_receipt(const OrderRecord& order, bool takeout)
{
    static ReceiptText receipt;  // 20 KB of zeroed storage, kept off the stack
    compose_receipt(order, takeout, receipt);
    MessageBoxW(nullptr, wide(receipt.view()), wide(receipt_caption(takeout)), MB_OK);
}

}  // namespace nuporaku
