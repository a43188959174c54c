/* Resource and command identifiers shared by the code and nuporaku.rc. */
#pragma once

#define IDR_MANIFEST     1
#define IDD_ORDER_FORM   103
#define IDM_ABOUT        104
#define IDI_NUPORAKU     107
#define IDR_ORDER_MENU   109
#define IDI_WASTE_BIN    130

/* Count field of menu row i: IDC_COUNT_FIRST + 2i; its spin control: IDC_COUNT_FIRST + 2i + 1. */
#define IDC_COUNT_FIRST  1000
#define IDC_ORDER_DONE   2   /* the button and its menu entry close the form like Esc does */
