// Starts nuporaku.exe and the yardstick minimal.exe under Wine, drives them as a person would and
// measures: the time from CreateProcess to the first message box on screen, the peak working set
// there and at the receipt box, and the fade window's duration and CPU time.
//
//   measure.exe --minimal PATH --nuporaku PATH [--arch x86|x64] [--minimal-x64 PATH --nuporaku-x64 PATH]
//               [--rounds 9] [--visits 5] [--fades 3]
//
// Prints one line per figure, for bench/run.sh to read:
//   RESULT  <name> <median> <min> <max> <count>
//   SAMPLES <name> <value> <value> ...
//   INFO    <name> <text>
//   ERROR   <what went wrong>                         (on stderr)
// Times are in milliseconds, memory in bytes. Exit code 0 when every figure has enough samples.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Time

LARGE_INTEGER qpc_frequency;

double now_ms()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(qpc_frequency.QuadPart);
}

// ---------------------------------------------------------------------------------------------
// Errors: a failed run throws; the caller records it and goes on with the next run.

struct RunError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

// ---------------------------------------------------------------------------------------------
// One started program. The destructor ends it if it still runs.

class Child {
public:
    explicit Child(const std::wstring& path)
    {
        std::wstring line = L"\"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ms = now_ms();
        if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info_))
            throw RunError("CreateProcess failed for " + narrow(path) + " (error " + std::to_string(GetLastError()) +
                           ")");
    }
    ~Child()
    {
        end();
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    DWORD id() const { return info_.dwProcessId; }
    HANDLE handle() const { return info_.hProcess; }
    bool running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

    // Waits for the program to end by itself; returns whether it did within the deadline.
    bool wait_exit(DWORD deadline_ms) const { return WaitForSingleObject(info_.hProcess, deadline_ms) == WAIT_OBJECT_0; }

    void end()
    {
        if (!running()) return;
        TerminateProcess(info_.hProcess, 1);
        if (WaitForSingleObject(info_.hProcess, 10000) != WAIT_OBJECT_0)
            std::fprintf(stderr, "ERROR process %lu did not end after TerminateProcess\n", info_.dwProcessId);
    }

    double started_ms = 0;

private:
    PROCESS_INFORMATION info_{};
};

// ---------------------------------------------------------------------------------------------
// Windows of another process

std::wstring class_of(HWND window)
{
    wchar_t name[64];
    const int length = GetClassNameW(window, name, 64);
    return std::wstring(name, std::max(length, 0));
}

std::wstring text_of(HWND window)
{
    wchar_t text[4096];
    DWORD_PTR length = 0;
    if (!window || !SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                        5000, &length))
        return L"";
    return std::wstring(text, std::min<DWORD_PTR>(length, 4095));
}

bool is_message_box(HWND window) { return class_of(window) == L"#32770" && GetDlgItem(window, 0xFFFF); }
bool is_order_form(HWND window) { return class_of(window) == L"#32770" && GetDlgItem(window, 1000); }
bool is_fade_window(HWND window) { return class_of(window) == L"NUPORAKU"; }

struct Search {
    DWORD process_id;
    bool (*predicate)(HWND);
    HWND except;
    HWND found;
};

BOOL CALLBACK search_window(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id || window == search->except || !IsWindowVisible(window)) return TRUE;
    if (!search->predicate(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// Polls the program's visible top-level windows until one satisfies the predicate.
HWND wait_window(const Child& child, bool (*predicate)(HWND), const char* what, DWORD poll_ms = 1,
                 HWND except = nullptr, DWORD deadline_ms = 20000)
{
    const double end = now_ms() + deadline_ms;
    for (;;) {
        Search search{child.id(), predicate, except, nullptr};
        EnumWindows(search_window, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (!child.running()) throw RunError(std::string("the program ended before showing ") + what);
        if (now_ms() > end) throw RunError(std::string("no ") + what + " within " + std::to_string(deadline_ms) + " ms");
        Sleep(poll_ms);
    }
}

void wait_gone(HWND window, const char* what, DWORD deadline_ms = 10000)
{
    const double end = now_ms() + deadline_ms;
    while (IsWindow(window)) {
        if (now_ms() > end) throw RunError(std::string(what) + " still open " + std::to_string(deadline_ms) + " ms after answering it");
        Sleep(2);
    }
}

// Presses one of a box's buttons, as a click does, and waits for the box to go.
void answer(HWND box, int button_id, const char* what)
{
    HWND button = GetDlgItem(box, button_id);
    if (!button) throw RunError(std::string(what) + " has no button " + std::to_string(button_id));
    DWORD_PTR result = 0;
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    wait_gone(box, what);
}

void expect_box_text(HWND box, const wchar_t* text, const char* what)
{
    const std::wstring shown = text_of(GetDlgItem(box, 0xFFFF));
    if (shown != text) throw RunError(std::string("unexpected ") + what + ": \"" + narrow(shown) + "\"");
}

void expect_caption(HWND box, const wchar_t* caption, const char* what)
{
    const std::wstring shown = text_of(box);
    if (shown != caption) throw RunError(std::string("unexpected caption of ") + what + ": \"" + narrow(shown) + "\"");
}

SIZE_T peak_working_set(const Child& child)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(child.handle(), &counters, sizeof counters) || counters.PeakWorkingSetSize == 0)
        throw RunError("GetProcessMemoryInfo failed (error " + std::to_string(GetLastError()) + ")");
    return counters.PeakWorkingSetSize;
}

// ---------------------------------------------------------------------------------------------
// CPU time of another process, as the sum of its threads' kernel and user times. Not from
// GetProcessTimes: Wine 8 answers it, for another process's handle, with the caller's own times.
// Wine reads a thread's times only while the thread runs (Windows also after its end), so each
// thread's highest reading is kept and the threads are read every few milliseconds up to the end.

ULONGLONG to_100ns(const FILETIME& time) { return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

class ThreadClock {
public:
    explicit ThreadClock(DWORD process_id) : process_id_(process_id) { refresh(); }
    ~ThreadClock()
    {
        for (auto& [id, thread] : threads_) CloseHandle(thread.handle);
    }
    ThreadClock(const ThreadClock&) = delete;
    ThreadClock& operator=(const ThreadClock&) = delete;

    // Opens the threads started since the last call.
    void refresh()
    {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return;
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
            if (entry.th32OwnerProcessID != process_id_ || threads_.count(entry.th32ThreadID)) continue;
            if (HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID))
                threads_[entry.th32ThreadID] = {thread, 0};
        }
        CloseHandle(snapshot);
    }

    // Sum of the highest kernel+user time read from each thread, in 100 ns units.
    ULONGLONG read()
    {
        ULONGLONG total = 0;
        for (auto& [id, thread] : threads_) {
            FILETIME created, ended, kernel, user;
            if (GetThreadTimes(thread.handle, &created, &ended, &kernel, &user))
                thread.highest = std::max(thread.highest, to_100ns(kernel) + to_100ns(user));
            total += thread.highest;
        }
        return total;
    }

private:
    struct Thread {
        HANDLE handle;
        ULONGLONG highest;
    };
    DWORD process_id_;
    std::map<DWORD, Thread> threads_;
};

// ---------------------------------------------------------------------------------------------
// The runs

constexpr wchar_t program_title[] = L"ヌポラ for Windows";
constexpr wchar_t title_text[] = L"ヌポラ for Windows Copyright (C) 2026 The NUPORAKU developers";
constexpr wchar_t greeting_text[] = L"いらっしゃいませ！ご注文は？";
constexpr wchar_t nothing_ordered_text[] = L"冷やかしですか...";
constexpr wchar_t takeout_text[] = L"お持ち帰りですか？";
constexpr wchar_t eat_in_caption[] = L"Bye bye!ヌポラWorld";

struct StartUp {
    double latency_ms;
    double cpu_ms;  // kernel + user time of the process up to the box
    SIZE_T peak_working_set;
};

// CreateProcess to the first message box on screen; the peak working set there. nuporaku's box
// is confirmed and the rest of its visit cut short; minimal.exe ends by itself.
StartUp start_up(const std::wstring& path, bool is_nuporaku)
{
    Child child(path);
    HWND box = wait_window(child, is_message_box, "the first message box");
    StartUp result{now_ms() - child.started_ms, 0, 0};
    result.cpu_ms = static_cast<double>(ThreadClock(child.id()).read()) / 10000.0;
    result.peak_working_set = peak_working_set(child);
    expect_caption(box, program_title, "the first message box");
    expect_box_text(box, title_text, "text of the first message box");
    answer(box, IDOK, "the first message box");
    if (is_nuporaku) {
        child.end();
    } else if (!child.wait_exit(10000)) {
        throw RunError("minimal.exe still runs 10 s after its box was confirmed");
    }
    return result;
}

// Confirms the title and greeting boxes and returns the order form.
HWND open_form(const Child& child)
{
    HWND title = wait_window(child, is_message_box, "the title box", 5);
    expect_box_text(title, title_text, "title box");
    answer(title, IDOK, "the title box");
    HWND greeting = wait_window(child, is_message_box, "the greeting box", 5);
    expect_box_text(greeting, greeting_text, "greeting box");
    answer(greeting, IDOK, "the greeting box");
    return wait_window(child, is_order_form, "the order form", 5);
}

// An accepted order (two hamburgers, to eat in): the peak working set at the receipt box.
SIZE_T accepted_visit(const std::wstring& path)
{
    Child child(path);
    HWND form = open_form(child);
    HWND field = GetDlgItem(form, 1000);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(field, EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG, 5000, &result);
    SendMessageTimeoutW(field, WM_CHAR, L'2', 1, SMTO_ABORTIFHUNG, 5000, &result);
    PostMessageW(form, WM_COMMAND, 2, 0);  // the form's "注文完了!"

    HWND question = wait_window(child, is_message_box, "the takeout question", 5);
    expect_box_text(question, takeout_text, "takeout question");
    answer(question, IDNO, "the takeout question");

    HWND receipt = wait_window(child, is_message_box, "the receipt box", 5);
    expect_caption(receipt, eat_in_caption, "the receipt box");
    const SIZE_T peak = peak_working_set(child);
    answer(receipt, IDOK, "the receipt box");
    if (!child.wait_exit(10000)) throw RunError("nuporaku.exe still runs 10 s after its receipt was confirmed");
    return peak;
}

struct Fade {
    double duration_ms;
    double cpu_ms;
};

// An empty order: from the fade window appearing to the process's end, and the CPU time in it.
Fade fade(const std::wstring& path)
{
    Child child(path);
    HWND form = open_form(child);
    PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND message = wait_window(child, is_message_box, "the nothing-ordered box", 5);
    expect_box_text(message, nothing_ordered_text, "nothing-ordered box");
    HWND button = GetDlgItem(message, IDOK);
    if (!button) throw RunError("the nothing-ordered box has no OK button");
    DWORD_PTR clicked = 0;
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &clicked);

    wait_window(child, is_fade_window, "the fade window");
    const double appeared = now_ms();
    ThreadClock threads(child.id());
    const ULONGLONG cpu_start = threads.read();

    const double deadline = appeared + 20000;
    int reads = 0;
    while (WaitForSingleObject(child.handle(), 5) == WAIT_TIMEOUT) {
        if (now_ms() > deadline) throw RunError("nuporaku.exe still runs 20 s after its fade window appeared");
        if (++reads % 50 == 0) threads.refresh();
        threads.read();
    }
    const double ended = now_ms();
    const ULONGLONG cpu_end = threads.read();
    return {ended - appeared, static_cast<double>(cpu_end - cpu_start) / 10000.0};
}

// ---------------------------------------------------------------------------------------------
// Figures

std::map<std::string, std::vector<double>> samples;
std::vector<std::string> order_of_names;
int failures = 0;

void record(const std::string& name, double value)
{
    if (!samples.count(name)) order_of_names.push_back(name);
    samples[name].push_back(value);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename Run>
void attempt(const char* what, Run run)
{
    try {
        run();
    } catch (const RunError& error) {
        ++failures;
        std::fprintf(stderr, "ERROR %s: %s\n", what, error.what());
        std::fflush(stderr);
    }
}

// A pause after each run, for Wine's desktop and X server to finish with the windows just
// closed before the next program starts.
constexpr DWORD settle_ms = 150;

struct Program {
    std::string label;  // minimal-x86, nuporaku-x86, ...
    std::wstring path;
    bool is_nuporaku;
};

int usage()
{
    std::fprintf(stderr,
                 "usage: measure.exe --minimal PATH --nuporaku PATH [--arch x86|x64] [--minimal-x64 PATH --nuporaku-x64 PATH]\n"
                 "                   [--rounds N] [--visits N] [--fades N]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    QueryPerformanceFrequency(&qpc_frequency);
    std::map<std::wstring, std::wstring> options;
    for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    if (argc % 2 == 0 || !options.count(L"--minimal") || !options.count(L"--nuporaku")) return usage();
    auto number = [&](const wchar_t* name, int fallback) {
        return options.count(name) ? std::max(1, _wtoi(options[name].c_str())) : fallback;
    };
    const int rounds = number(L"--rounds", 9), visits = number(L"--visits", 5), fades = number(L"--fades", 3);

    // --arch names the first pair's architecture (x86 by default), for the figures' names.
    const std::string arch = options.count(L"--arch") ? narrow(options[L"--arch"]) : "x86";
    std::vector<Program> programs{{"minimal-" + arch, options[L"--minimal"], false},
                                  {"nuporaku-" + arch, options[L"--nuporaku"], true}};
    if (options.count(L"--minimal-x64") && options.count(L"--nuporaku-x64")) {
        programs.push_back({"minimal-x64", options[L"--minimal-x64"], false});
        programs.push_back({"nuporaku-x64", options[L"--nuporaku-x64"], true});
    }
    for (const Program& program : programs)
        if (GetFileAttributesW(program.path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::fprintf(stderr, "ERROR no such program: %s\n", narrow(program.path).c_str());
            return 1;
        }

    // One run of each to warm the caches, not counted. Then rounds in which nuporaku.exe and
    // minimal.exe of one architecture run back to back, which of them first and which
    // architecture first alternating from round to round: the ratio of each such pair is
    // recorded too, as it is little swayed by load that changes slowly.
    for (const Program& program : programs)
        attempt(("warm-up of " + program.label).c_str(), [&] { start_up(program.path, program.is_nuporaku); });
    const std::size_t pairs = programs.size() / 2;
    for (int round = 0; round < rounds; ++round)
        for (std::size_t p = 0; p < pairs; ++p) {
            const std::size_t pair = (p + round) % pairs;
            double latency[2] = {0, 0};  // minimal, nuporaku
            for (int k = 0; k < 2; ++k) {
                const int which = (k + round / 2) % 2;
                const Program& program = programs[2 * pair + which];
                attempt(("start-up of " + program.label).c_str(), [&] {
                    const StartUp result = start_up(program.path, program.is_nuporaku);
                    latency[which] = result.latency_ms;
                    record("latency_ms." + program.label, result.latency_ms);
                    record("startup_cpu_ms." + program.label, result.cpu_ms);
                    record("peak_ws." + program.label, static_cast<double>(result.peak_working_set));
                });
                Sleep(settle_ms);
            }
            if (latency[0] > 0 && latency[1] > 0)
                record("latency_pair_ratio." + programs[2 * pair].label.substr(8), latency[1] / latency[0]);
        }

    const std::wstring& nuporaku = programs[1].path;
    const std::string& label = programs[1].label;
    for (int i = 0; i < visits; ++i) {
        attempt("accepted visit", [&] { record("peak_ws_receipt." + label, static_cast<double>(accepted_visit(nuporaku))); });
        Sleep(settle_ms);
    }
    for (int i = 0; i < fades; ++i) {
        attempt("fade", [&] {
            const Fade result = fade(nuporaku);
            record("fade_ms." + label, result.duration_ms);
            record("fade_cpu_ms." + label, result.cpu_ms);
            record("fade_cpu_share_pct." + label, 100.0 * result.cpu_ms / result.duration_ms);
        });
        Sleep(settle_ms);
    }

    for (const std::string& name : order_of_names) {
        const std::vector<double>& values = samples[name];
        std::printf("RESULT %s %.3f %.3f %.3f %zu\n", name.c_str(), median(values),
                    *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()),
                    values.size());
        std::printf("SAMPLES %s", name.c_str());
        for (double value : values) std::printf(value >= 1000 ? " %.0f" : " %.3f", value);
        std::printf("\n");
    }
    std::printf("INFO failures %d\n", failures);

    // Every figure needs most of its runs.
    bool complete = samples.count("fade_ms." + label) && samples.count("peak_ws_receipt." + label);
    for (const Program& program : programs)
        complete = complete && samples["latency_ms." + program.label].size() * 2 > static_cast<std::size_t>(rounds);
    std::fflush(stdout);
    return complete ? 0 : 1;
}
