#include "order_form.h"

#include "count_text.h"
#include "resource.h"
#include "win32_text.h"

#include <commctrl.h>

namespace nuporaku {

namespace {

OrderRecord* form_order;  // the record the open form writes

constexpr wchar_t about_text[] = NUPORAKU_TITLE L" ver.1.0\r\n"
                                 NUPORAKU_COPYRIGHT L"\r\n"
                                 L"\r\n"
                                 L"https://nuporaku.example/";

std::int32_t read_count(HWND form, int field_id)
{
    // A pasted text can be of any length: read all of it so that junk at its end is seen.
    HWND field = GetDlgItem(form, field_id);
    const int length = GetWindowTextLengthW(field);
    // The capacity is set with the buffer it describes, and is all that GetWindowTextW is told.
    wchar_t small[32];
    wchar_t* text = small;
    int capacity = ARRAYSIZE(small);
    if (length >= capacity) {
        capacity = length + 1;
        text = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, capacity * sizeof(wchar_t)));
        if (!text) return 0;
    }
    const int read = GetWindowTextW(field, text, capacity);
    const std::int32_t count = parse_count({reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(read)});
    if (text != small) LocalFree(text);
    return count;
}

void read_fields(HWND form)
{
    for (std::size_t i = 0; i < menu_size; ++i) form_order->counts[i] = read_count(form, count_field_ids[i]);
}

bool any_count_at_limit()
{
    for (std::size_t i = 0; i < menu_size; ++i)
        if (form_order->reaches_limit(i)) return true;
    return false;
}

bool is_count_field(int id)
{
    for (int field_id : count_field_ids)
        if (field_id == id) return true;
    return false;
}

// The dialog manager makes room for a menu bar of one row. Where the menu font is wider than
// the form's (Windows Vista and later draw the bar in the system's menu font), the six titles
// wrap to two rows, which the client area would lose at its bottom: grow the window by that,
// half of it upwards, so that it stays centred as its template asks.
void make_room_for_menu_bar(HWND form)
{
    // Field by field: an initialiser list would be copied from a .data section.
    RECT template_size;
    template_size.left = template_size.top = 0;
    template_size.right = ORDER_FORM_WIDTH;
    template_size.bottom = ORDER_FORM_HEIGHT;
    MapDialogRect(form, &template_size);
    WINDOWINFO window;
    window.cbSize = sizeof window;
    GetWindowInfo(form, &window);
    const LONG missing = template_size.bottom - (window.rcClient.bottom - window.rcClient.top);
    if (missing > 0)
        SetWindowPos(form, nullptr, window.rcWindow.left, window.rcWindow.top - missing / 2,
                     window.rcWindow.right - window.rcWindow.left, window.rcWindow.bottom - window.rcWindow.top + missing,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR on_command(HWND form, int id, int notification)
{
    if (id == IDM_ABOUT) {
        // No owner: the form stays open and usable behind the box, and may even be closed
        // while the box is open. The dialog loop checks for EndDialog after each message it
        // dispatches, before it waits for the next. A menu choice arrives posted, so the check
        // follows it; a command sent to the form (by assistive tools or a test driver) is
        // handled inside the loop's wait, which would go on, perhaps until the next mouse
        // move: wake it.
        MessageBoxW(nullptr, about_text, L"バージョン情報", MB_ICONINFORMATION);
        PostMessageW(form, WM_NULL, 0, 0);
        return FALSE;
    }
    if (id == IDOK || id == IDCANCEL) {
        read_fields(form);
        EndDialog(form, id);
        return TRUE;
    }
    if (is_count_field(id) && notification == EN_CHANGE) {
        read_fields(form);
        if (any_count_at_limit()) {
            EndDialog(form, id);
            return TRUE;
        }
    }
    return FALSE;
}

INT_PTR CALLBACK order_form_proc(HWND form, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        for (int spin_id : spin_control_ids) {
            SendDlgItemMessageW(form, spin_id, UDM_SETRANGE, 0, MAKELPARAM(order_limit, 0));
            SendDlgItemMessageW(form, spin_id, UDM_SETPOS, 0, 0);
        }
        make_room_for_menu_bar(form);
        return TRUE;
    case WM_COMMAND:
        return on_command(form, LOWORD(wparam), HIWORD(wparam));
    }
    return FALSE;
}

}  // namespace

void take_order(HINSTANCE instance, OrderRecord& order)
{
    form_order = &order;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ORDER_FORM), nullptr, order_form_proc, 0);
}

}  // namespace nuporaku
