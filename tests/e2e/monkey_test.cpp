// Random whole visits: a seeded "monkey" clicks, types, pastes, opens menus and answers every
// box at random, and every visit must still end cleanly with exit code 0.
//
// The normal test run plays a few visits with a fixed seed. A long run, on demand:
//   NUPORAKU_MONKEY_SEED=1234 NUPORAKU_MONKEY_VISITS=300 \
//     tests/wine/wine-run.sh build/x86/tests/nuporaku_e2e_tests.exe --gtest_filter=Monkey.*
// A failure prints the seed, the visit and everything done in it, so that it can be replayed.
#include "driver.h"

#include "catalogue.h"
#include "count_text.h"
#include "judgement.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

using namespace e2e;

namespace {

unsigned setting(const wchar_t* name, unsigned fallback)
{
    wchar_t value[32];
    return GetEnvironmentVariableW(name, value, 32) ? wcstoul(value, nullptr, 10) : fallback;
}

std::wstring from_utf16(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// What the counter should do with the counts the form showed when it was closed.
struct Expectation {
    nuporaku::OrderRecord order;
    nuporaku::Verdict verdict;
};

class Monkey {
public:
    explicit Monkey(unsigned seed) : random_(seed) {}

    // Plays one visit; returns a description of what went wrong, or nothing.
    std::optional<std::string> play()
    {
        log_.clear();
        expected_.reset();
        receipt_due_ = false;
        Visit visit;
        const DWORD start = GetTickCount();
        while (visit.running() && GetTickCount() - start < deadline(30000)) {
            if (auto problem = step(visit)) return problem;
        }
        const DWORD code = visit.wait_exit(1000);
        if (code != 0) return "exit code " + std::to_string(code) + (code == STILL_ACTIVE ? " (still running)" : "");
        return std::nullopt;
    }

    const std::string& log() const { return log_; }

private:
    int below(int limit) { return std::uniform_int_distribution<int>(0, limit - 1)(random_); }
    bool chance(int percent) { return below(100) < percent; }
    void note(const std::string& what) { log_ += what + "\n"; }

    std::wstring random_digits(int longest)
    {
        std::wstring digits;
        for (int length = 1 + below(longest); length > 0; --length) digits += static_cast<wchar_t>(L'0' + below(10));
        return digits;
    }

    std::optional<std::string> step(const Visit& visit)
    {
        HWND form = nullptr, box = nullptr, about = nullptr, fade = nullptr;
        for (HWND window : visit.windows()) {
            if (is_order_form(window))
                form = window;
            else if (is_message_box(window))
                (window_text(window) == texts::about_caption ? about : box) = window;
            else if (is_fade_window(window))
                fade = window;
        }
        if (box) return answer_box(box);
        // The form stays usable while its about box is open.
        if (form && (!about || chance(50))) return act_on_form(form, about != nullptr);
        if (about) return answer_box(about);
        if (fade) {
            if (chance(80)) {
                note("close the fade-out window");
                close_window(fade);
            } else {
                note("let the fade-out window finish");
            }
            wait_until([&] { return !IsWindow(fade); }, 5000);
            return std::nullopt;
        }
        Sleep(5);  // between two windows
        return std::nullopt;
    }

    std::optional<std::string> answer_box(HWND window)
    {
        const Box box{window, window_text(window), window_text(GetDlgItem(window, 0xFFFF))};
        if (auto problem = check_ending(box)) return problem;
        const std::vector<int> buttons = box_buttons(window);
        // Only Yes takes out: whatever else closes the question (Wine lets Esc close it) is No.
        if (box.text == texts::takeout_question) takeout_ = false;
        switch (below(4)) {
        case 0:
            note("close box of a box");
            close_window(window);
            break;
        case 1:
            note("Esc on a box");
            PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 1);
            break;
        default:
            if (buttons.empty()) break;
            const int button = buttons[below(static_cast<int>(buttons.size()))];
            note("button " + std::to_string(button) + " of a box");
            SendNotifyMessageW(GetDlgItem(window, button), BM_CLICK, 0, 0);
            if (box.text == texts::takeout_question) takeout_ = button == IDYES;
        }
        // A Yes/No box may ignore Esc and its close box: it is then simply answered again.
        wait_until([&] { return !IsWindow(window); }, 1000);
        return std::nullopt;
    }

    // The first box after the form must be the one its last counts call for.
    std::optional<std::string> check_ending(const Box& box)
    {
        if (!expected_ || box.caption == texts::about_caption) return std::nullopt;
        const std::wstring wanted[] = {texts::nothing_ordered, texts::cannot_pay, texts::smile_overdone,
                                       texts::takeout_question};
        const std::wstring& expected_text = wanted[static_cast<int>(expected_->verdict)];
        // The question may be shown again and again: Esc and the close box leave it open.
        if (box.text == texts::takeout_question && expected_text == texts::takeout_question) {
            receipt_due_ = true;
            return std::nullopt;
        }
        if (receipt_due_) return check_receipt(box);
        if (box.text != expected_text)
            return "after the form: box \"" + utf8(box.text) + "\", expected \"" +
                   utf8(expected_text) + "\"";
        expected_.reset();
        return std::nullopt;
    }

    std::optional<std::string> check_receipt(const Box& box)
    {
        std::wstring text;
        for (std::size_t i = 0; i < nuporaku::menu_size; ++i)
            for (std::int32_t unit = 0; unit < expected_->order.counts[i]; ++unit)
                text += from_utf16(nuporaku::is_paid(i) ? nuporaku::menu_labels[i] : nuporaku::laughter_word(takeout_));
        receipt_due_ = false;
        expected_.reset();
        if (box.text != text) return "receipt \"" + utf8(box.text) + "\"";
        if (box.caption != (takeout_ ? texts::takeout_caption : texts::eat_in_caption)) return "receipt caption";
        return std::nullopt;
    }

    nuporaku::OrderRecord shown_counts(HWND form)
    {
        nuporaku::OrderRecord order;
        for (int row = 0; row < 10; ++row) {
            const std::wstring text = field_text(form, row);
            order.counts[row] = nuporaku::parse_count(std::u16string(text.begin(), text.end()));
        }
        return order;
    }

    std::wstring random_paste()
    {
        static const wchar_t* const junk[] = {L"abc", L"-5", L"+7", L" 12 ", L"１２", L"", L"1e3", L"0x10", L"98",
                                              L"99", L"  ", L"12abc", L"\t3"};
        if (chance(40)) return junk[below(static_cast<int>(std::size(junk)))];
        return random_digits(chance(20) ? 40 : 3);
    }

    std::optional<std::string> act_on_form(HWND form, bool about_open)
    {
        const int row = below(10);
        const nuporaku::OrderRecord before = shown_counts(form);
        bool closes = false;
        switch (below(20)) {
        case 0: case 1: case 2: case 3: case 4: case 5:
            note("spin up row " + std::to_string(row));
            click_spin(form, row, true);
            break;
        case 6: case 7:
            note("spin down row " + std::to_string(row));
            click_spin(form, row, false);
            break;
        case 8: case 9: {
            const std::wstring digits = random_digits(3);
            note("type " + utf8(digits) + " into row " + std::to_string(row));
            if (chance(50))
                type_into(form, row, digits);
            else
                for (wchar_t digit : digits) send_message(count_field(form, row), WM_CHAR, digit, 1);
            break;
        }
        case 10: case 11: {
            const std::wstring text = random_paste();
            note("paste \"" + utf8(text) + "\" into row " + std::to_string(row));
            paste_into(form, row, text);
            break;
        }
        case 12: case 13:
            note("dummy menu entry");
            choose_command(form, 0);
            break;
        case 14:
            note("about");
            choose_command(form, 104);
            break;
        default: {
            closes = true;
            const int way = below(5);
            switch (way) {
            case 0: note("close box of the form"); close_window(form); break;
            case 1: note("Esc in the form"); press_key(form, row, VK_ESCAPE); break;
            case 2: note("Enter in the form"); press_key(form, row, VK_RETURN); break;
            case 3: note("the button"); SendNotifyMessageW(GetDlgItem(form, 2), BM_CLICK, 0, 0); break;
            default: note("menu entry 注文完了!"); choose_command(form, 2); break;
            }
            // While the about box is open its message loop, not the form's, reads the keys:
            // the form's keyboard commands do nothing then, as in any dialog behind a box.
            if (about_open && (way == 1 || way == 2)) {
                note("(no effect: the about box is open)");
                closes = false;
            }
        }
        }
        // EndDialog hides the form at once; it is destroyed a little later.
        const auto closed = [form] { return !IsWindow(form) || !IsWindowVisible(form); };
        if (closes) {
            expected_ = Expectation{before, nuporaku::judge(before)};
            if (!wait_until(closed, 5000)) return "the form did not close";
        } else if (closed()) {
            // Only reaching the limit closes the form by itself, and only the acted-on row
            // can have reached it: the others were below it, or the form would have closed.
            note("the form closed by itself");
            expected_ = Expectation{before, row == static_cast<int>(nuporaku::smile_index) ? nuporaku::Verdict::SmileOverdone
                                                                                         : nuporaku::Verdict::CannotPay};
        }
        return std::nullopt;
    }

    std::mt19937 random_;
    std::string log_;
    std::optional<Expectation> expected_;
    bool receipt_due_ = false;
    bool takeout_ = false;
};

TEST(Monkey, RandomVisitsEndCleanly)
{
    const unsigned seed = setting(L"NUPORAKU_MONKEY_SEED", 20261208);
    const unsigned visits = setting(L"NUPORAKU_MONKEY_VISITS", 25);
    Monkey monkey(seed);
    for (unsigned visit = 1; visit <= visits; ++visit) {
        const std::optional<std::string> problem = monkey.play();
        ASSERT_FALSE(problem) << "seed " << seed << ", visit " << visit << ": " << *problem << "\nwhat was done:\n"
                              << monkey.log();
    }
}

}  // namespace
