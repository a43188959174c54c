// The visit from its start: the help switch, then the title and greeting boxes and the form.
#include "driver.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

const std::wstring help_lines[] = {
    L"Windows上で疑似的にズムリを立ち上げます。",
    L"書式：NUPORAKU [/?]",
    L"/? \u2026\u2026 簡単な説明を表示します。",
    L"このプログラムは、Windows上で疑似的にズムリを仮動作させます。",
    L"このプログラムを使用した際に生じるいかなる傷害も、当方では責任を負いかねますので、あらかじめご了承下さい。",
    L"プログラム実行中に、めまい・吐き気・疲労感・乗り物酔いに似た症状等を感じた場合は、ただちに使用を中止して下さい。"
    L"その後も不快感が続いている場合は必ず医師の診察を受けて下さい。",
};


void expect_title_box(const Box& box)
{
    ASSERT_TRUE(box.window) << "no title box";
    EXPECT_EQ(box.caption, texts::title);
    EXPECT_EQ(box.text.rfind(texts::title + L" ", 0), 0u) << "title box: " << box.text.size();
    EXPECT_GT(box.text.size(), texts::title.size() + 1);
    EXPECT_EQ(box.text.find(L"\r"), std::wstring::npos);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(box.icon, BoxIcon::information);
}

// Starts a visit without help and returns the title box's notice.
std::wstring notice_of_a_visit()
{
    Visit visit;
    Box box = visit.wait_box();
    return box.text;
}

class HelpSwitch : public testing::TestWithParam<const wchar_t*> {};

TEST_P(HelpSwitch, ShowsOnlyTheHelpBoxAndExits)
{
    Visit visit(GetParam());
    Box box = visit.wait_box();
    ASSERT_TRUE(box.window);
    EXPECT_EQ(box.caption, texts::title);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(box.icon, BoxIcon::information);
    std::wstring expected = notice_of_a_visit() + L"\r\n";
    for (const std::wstring& line : help_lines) expected += line + L"\r\n";
    EXPECT_EQ(box.text, expected);
    visit.answer(box, IDOK);
    EXPECT_EQ(visit.wait_exit(), 0u);
}
INSTANTIATE_TEST_SUITE_P(Tails, HelpSwitch, testing::Values(L"/?", L"-?"));

class NoHelpSwitch : public testing::TestWithParam<const wchar_t*> {};

TEST_P(NoHelpSwitch, StartsTheVisitWithTheTitleBox)
{
    Visit visit(GetParam());
    Box title = visit.wait_box();
    expect_title_box(title);
    visit.answer(title, IDOK);
    Box greeting = visit.wait_box();
    EXPECT_EQ(greeting.caption, texts::title);
    EXPECT_EQ(greeting.text, texts::greeting);
    EXPECT_EQ(greeting.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(greeting.icon, BoxIcon::information);
    EXPECT_FALSE(visit.wait_form(0)) << "the form opened before the greeting was confirmed";
    visit.answer(greeting, IDOK);
    HWND form = visit.wait_form();
    ASSERT_TRUE(form);
    EXPECT_EQ(window_text(form), texts::title);
}
INSTANTIATE_TEST_SUITE_P(Tails, NoHelpSwitch,
                         testing::Values(L"", L"/h", L"--?", L"/?/?", L"/? ", L"-?-", L"/H", L"/\uFF1F", L"\"/?\""));

// The tail is what follows the program's path, which may be quoted and contain blanks.
struct CommandLineCase {
    const char* name;
    std::wstring after_path;
    bool help;
};
void PrintTo(const CommandLineCase& c, std::ostream* out) { *out << c.name; }

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, TailFollowsTheProgramPath)
{
    // A copy of the program in a folder whose name has blanks.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"nuporaku tests with blanks";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring copy = folder + L"\\nuporaku copy.exe";
    ASSERT_TRUE(CopyFileW(program_path().c_str(), copy.c_str(), FALSE) || GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES);
    SetEnvironmentVariableW(L"NUPORAKU_EXE", copy.c_str());
    Visit visit(L"", -1, L"\"" + copy + L"\"" + GetParam().after_path);
    SetEnvironmentVariableW(L"NUPORAKU_EXE", nullptr);
    Box box = visit.wait_box();
    ASSERT_TRUE(box.window);
    if (GetParam().help) {
        EXPECT_NE(box.text.find(help_lines[1]), std::wstring::npos) << "no help box";
        visit.answer(box, IDOK);
        EXPECT_EQ(visit.wait_exit(), 0u);
    } else {
        expect_title_box(box);
    }
}
INSTANTIATE_TEST_SUITE_P(Paths, CommandLine,
                         testing::Values(CommandLineCase{"Blank", L" /?", true}, CommandLineCase{"Blanks", L"   -?", true},
                                         CommandLineCase{"Tab", L"\t/?", true},
                                         CommandLineCase{"TrailingBlank", L" /? ", false},
                                         CommandLineCase{"NoBlank", L"/?", false},
                                         CommandLineCase{"TwoSwitches", L" /? /?", false},
                                         CommandLineCase{"ControlCharacters", L"\x01\x1f/?", true},
                                         CommandLineCase{"LongLine", std::wstring(32000, L'\t') + L"/?", true},
                                         CommandLineCase{"LoneSurrogate", L" /?\xD800", false},
                                         CommandLineCase{"UnclosedQuote", L"\" /?", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
