#include "report.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace report {

std::wstring folder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"NUPORAKU_REPORT", path, MAX_PATH);
    if (!length || length >= MAX_PATH) return L"";
    std::wstring result(path, length);
    if (result.back() != L'\\') result += L'\\';
    return result;
}

namespace {

std::string utf8(const wchar_t* text)
{
    char bytes[1024];
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return length > 0 ? std::string(bytes, length - 1) : "";
}

// Lines end in CR LF and the file starts with a byte-order mark, for Notepad on Windows XP.
void append(std::string text)
{
    const std::wstring dir = folder();
    if (dir.empty()) return;
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, 1, '\r');
    if (FILE* out = _wfopen((dir + L"summary.txt").c_str(), L"ab")) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
}

std::string number(unsigned long value) { return std::to_string(value); }

std::string measured;  // the figures, written with the program's counts

// What the Windows under test is, as a person would ask about it, not as a program that
// declares no support for newer versions is told (GetVersionEx stops at 6.2 for those).
std::string system_description()
{
    std::string text = "\xEF\xBB\xBF" "nuporaku check kit\n";
    OSVERSIONINFOEXW version{sizeof version};
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (auto get = reinterpret_cast<GetVersion>(GetProcAddress(ntdll, "RtlGetVersion")); get && get(&version) == 0)
        text += "Windows " + number(version.dwMajorVersion) + "." + number(version.dwMinorVersion) + " build " +
                number(version.dwBuildNumber) + (version.szCSDVersion[0] ? " " + utf8(version.szCSDVersion) : "") +
                (version.wProductType == VER_NT_WORKSTATION ? " (client)" : " (server)") + "\n";
    using WineVersion = const char*(CDECL*)();
    if (auto wine = reinterpret_cast<WineVersion>(GetProcAddress(ntdll, "wine_get_version")))
        text += "Running under Wine " + std::string(wine()) + ", not Windows\n";
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    const WORD arch = system.wProcessorArchitecture;
    text += std::string("Architecture: ") +
            (arch == PROCESSOR_ARCHITECTURE_AMD64 ? "x64" : arch == PROCESSOR_ARCHITECTURE_INTEL ? "x86"
             : arch == 12 /* ARM64 */         ? "ARM64"
                                              : "other (" + number(arch) + ")") +
            "; the kit's programs are " + (sizeof(void*) == 8 ? "x64" : "x86") + "\n";

    // A program without DPI awareness, as these are, is told of a 96-DPI screen when Windows
    // scales it; the display's own mode tells the pixels it really has.
    HDC screen = GetDC(nullptr);
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode);
    text += "Screen: " + number(GetSystemMetrics(SM_CXSCREEN)) + " x " + number(GetSystemMetrics(SM_CYSCREEN)) +
            " at " + number(GetDeviceCaps(screen, LOGPIXELSX)) + " DPI, as the program sees it; the display mode is " +
            number(mode.dmPelsWidth) + " x " + number(mode.dmPelsHeight) + ", " + number(mode.dmBitsPerPel) +
            " bits\n";
    // As the dialog manager asks for the form's font: by name, any character set.
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS UI Gothic");
    HGDIOBJ old = SelectObject(screen, font);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(screen, LF_FACESIZE, face);
    WORD glyphs[3];
    const bool has_kana = GetGlyphIndicesW(screen, L"ヌポラ", 3, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == 3 &&
                          glyphs[0] != 0xFFFF && glyphs[1] != 0xFFFF && glyphs[2] != 0xFFFF;
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    text += "\"MS UI Gothic\" resolves to: \"" + utf8(face) + "\", " +
            (has_kana ? "which has the program's kana\n" : "WITHOUT the program's kana: its texts show as boxes\n");
    // The size Windows XP knows; later versions take it too.
    NONCLIENTMETRICSW metrics{offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW)};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        text += "Menu font: \"" + utf8(metrics.lfMenuFont.lfFaceName) + "\", " +
                number(static_cast<unsigned long>(std::abs(metrics.lfMenuFont.lfHeight))) + " px; message box font: \"" +
                utf8(metrics.lfMessageFont.lfFaceName) + "\"\n";
    SYSTEMTIME now;
    GetLocalTime(&now);
    char when[32];
    std::snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
    return text + "Checked on " + when + "\n\n";
}

// Each program's counts, every failed test with its messages, every skipped one with why.
class Summary : public testing::EmptyTestEventListener {
    void OnTestProgramStart(const testing::UnitTest&) override
    {
        if (GetFileAttributesW((folder() + L"summary.txt").c_str()) == INVALID_FILE_ATTRIBUTES)
            append(system_description());
    }
    void OnTestPartResult(const testing::TestPartResult& result) override
    {
        if (result.type() == testing::TestPartResult::kSuccess) return;
        messages_ += std::string("      ") + (result.file_name() ? result.file_name() : "") + ":" +
                     std::to_string(result.line_number()) + ": " + result.message() + "\n";
    }
    void OnTestEnd(const testing::TestInfo& test) override
    {
        const auto& result = *test.result();
        if (result.Failed() || result.Skipped())
            details_ += std::string(result.Failed() ? "    FAILED  " : "    skipped ") + test.test_suite_name() + "." +
                        test.name() + "\n" + messages_;
        messages_.clear();
    }
    void OnTestProgramEnd(const testing::UnitTest& unit) override
    {
        wchar_t path[MAX_PATH];
        std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
        program = program.substr(program.find_last_of(L"\\/") + 1);
        append(utf8(program.c_str()) + ": " + std::to_string(unit.successful_test_count()) + " passed, " +
               std::to_string(unit.failed_test_count()) + " failed, " + std::to_string(unit.skipped_test_count()) +
               " skipped" + (unit.ad_hoc_test_result().Failed() ? ", and failures outside any test" : "") + "\n" +
               details_ + messages_ + (measured.empty() ? "" : "  Measured here:\n" + measured) + "\n");
    }

    std::string messages_, details_;
};

const bool summary_listening = [] {
    if (!folder().empty()) testing::UnitTest::GetInstance()->listeners().Append(new Summary);
    return true;
}();

}  // namespace

void figure(const std::string& name, const std::string& value)
{
    testing::Test::RecordProperty(name, value);
    measured += "    " + name + ": " + value + "\n";
}

}  // namespace report
