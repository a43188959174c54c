/* Resource and command identifiers, and the texts, shared by the code and nuporaku.rc. */
#pragma once

/* Plain literals: the resource compiler converts only those from UTF-8, and in the code one
   L"" beside them makes the whole concatenation wide. */
#define NUPORAKU_TITLE     "ヌポラ for Windows"
#define NUPORAKU_COPYRIGHT "Copyright (C) 2026 The NUPORAKU developers"

#define IDR_MANIFEST     1
#define IDD_ORDER_FORM   103
#define IDM_ABOUT        104
#define IDI_NUPORAKU     107
#define IDR_ORDER_MENU   109
#define IDI_WASTE_BIN    130

/* The order form's client area, in dialog units. */
#define ORDER_FORM_WIDTH  203
#define ORDER_FORM_HEIGHT 206

/* Count field of menu row i: IDC_COUNT_FIRST + 2i; its spin control: IDC_COUNT_FIRST + 2i + 1. */
#define IDC_COUNT_FIRST  1000
#define IDC_ORDER_DONE   2   /* the button and its menu entry close the form like Esc does */
