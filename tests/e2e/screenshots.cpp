// A short scripted visit that saves pictures of the program along the way. Not a test: run on
// demand with --gtest_also_run_disabled_tests --gtest_filter=Screenshots.* and
// NUPORAKU_SCREENSHOTS set to the folder that receives the BMP files.
#include "driver.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

std::wstring folder()
{
    wchar_t path[MAX_PATH] = L".";
    GetEnvironmentVariableW(L"NUPORAKU_SCREENSHOTS", path, MAX_PATH);
    return std::wstring(path) + L"\\";
}

void shoot(const wchar_t* name)
{
    Sleep(300);  // let the last change reach the screen: a picture, not a check
    EXPECT_TRUE(save_screenshot(folder() + name + L".bmp")) << "cannot write to " << folder().size();
}

TEST(Screenshots, DISABLED_AcceptedVisit)
{
    Visit visit;
    Box title = visit.wait_box();
    visit.answer(title, IDOK);
    Box greeting = visit.wait_box();
    ASSERT_TRUE(greeting.window);
    shoot(L"greeting");
    visit.answer(greeting, IDOK);
    HWND form = visit.wait_form();
    ASSERT_TRUE(form);
    for (int click = 0; click < 2; ++click) click_spin(form, 0);
    type_into(form, 4, L"1");
    type_into(form, 7, L"3");
    click_spin(form, 9);
    shoot(L"order-form");
    choose_command(form, 2);
    Box question = visit.wait_box();
    visit.answer(question, IDYES);
    Box receipt = visit.wait_box();
    ASSERT_TRUE(receipt.window);
    shoot(L"receipt");
    visit.answer(receipt, IDOK);
    EXPECT_EQ(visit.wait_exit(), 0u);
}

TEST(Screenshots, DISABLED_EmptyVisit)
{
    Visit visit;
    HWND form = visit.open_form();
    ASSERT_TRUE(form);
    close_window(form);
    Box message = visit.wait_box();
    visit.answer(message, IDOK);
    HWND window = visit.wait_window(is_fade_window);
    ASSERT_TRUE(window);
    shoot(L"fade-out");
    close_window(window);
    EXPECT_EQ(visit.wait_exit(), 0u);
}

}  // namespace
