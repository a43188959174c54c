// The process's entry point, of the program's own (no C runtime), and the one visit it plays:
// the help switch, or the counter from greeting to ending.
#include "counter.h"
#include "fade_window.h"
#include "help_switch.h"
#include "order_form.h"
#include "win32_text.h"

#include <commctrl.h>
#include <windows.h>

namespace {

#define NUPORAKU_NOTICE NUPORAKU_TITLE L" " NUPORAKU_COPYRIGHT

constexpr wchar_t help_text[] =
    NUPORAKU_NOTICE L"\r\n"
    L"Windows上で疑似的にズムリを立ち上げます。\r\n"
    L"書式：NUPORAKU [/?]\r\n"
    L"/? …… 簡単な説明を表示します。\r\n"
    L"このプログラムは、Windows上で疑似的にズムリを仮動作させます。\r\n"
    L"このプログラムを使用した際に生じるいかなる傷害も、当方では責任を負いかねますので、あらかじめご了承下さい。\r\n"
    L"プログラム実行中に、めまい・吐き気・疲労感・乗り物酔いに似た症状等を感じた場合は、ただちに使用を中止して下さい。"
    L"その後も不快感が続いている場合は必ず医師の診察を受けて下さい。\r\n";

nuporaku::OrderRecord order;  // the one order record of the run, zero at start-up

void show_information(const wchar_t* text)
{
    MessageBoxW(nullptr, text, nuporaku::program_title, MB_ICONINFORMATION);
}

int visit(HINSTANCE instance, std::u16string_view tail)
{
    using namespace nuporaku;
    if (is_help_request(tail)) {
        show_information(help_text);
        return 0;
    }
    show_information(NUPORAKU_NOTICE);
    show_information(L"いらっしゃいませ！ご注文は？");
    InitCommonControls();
    take_order(instance, order);

    const Verdict verdict = judge(order);
    switch (verdict) {
    case Verdict::NothingOrdered:
        show_verdict_message(verdict);
        run_fade_window(instance);
        break;
    case Verdict::CannotPay:
    case Verdict::SmileOverdone:
        show_verdict_message(verdict);
        break;
    case Verdict::Accepted:
        serve_receipt(order, ask_takeout());
        break;
    }
    return 0;
}

}  // namespace

// Entered from the loader with nothing but a stack: no runtime start-up runs before it, so it
// derives the tail itself and ends the process with the visit's exit code. Windows aligns the
// x86 stack to 4 bytes only; the compiler assumes 16.
#if defined(__i386__)
#define REALIGNS_STACK [[gnu::force_align_arg_pointer]]
#else
#define REALIGNS_STACK
#endif
extern "C" [[noreturn]] REALIGNS_STACK void nuporaku_start()
{
    const auto* line = reinterpret_cast<const char16_t*>(GetCommandLineW());
    ExitProcess(visit(GetModuleHandleW(nullptr), nuporaku::command_tail(line)));
}
