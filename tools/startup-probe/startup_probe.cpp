// Measures how long programs take from CreateProcess to their first visible dialog window:
//   startup_probe [--runs N] <program.exe>...
// The programs are started in turn, round after round, each in its own folder, so that a passing
// load on the machine falls on all of them alike. Prints every time and the median per program.
#include "text/code_page.h"
#include "text/text_format.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 60000;

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (owner == search->processId && IsWindowVisible(window) && std::wstring(className) == L"#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Milliseconds until the program's dialog is visible; negative when it never showed one.
double TimeToWindow(const std::wstring& program) {
    const std::wstring folder = tarnvel::FolderOfPath(program);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return -1;
    CloseHandle(info.hThread);
    WindowSearch search{info.dwProcessId, nullptr};
    double elapsed = -1;
    for (;;) {
        EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        if (search.found) {
            elapsed = Milliseconds(start, now);
            break;
        }
        if (WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0 || Milliseconds(start, now) > kTimeoutMs)
            break;
    }
    // Only the start is measured: end it without asking.
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hProcess);
    return elapsed;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 5;
    std::vector<std::wstring> programs;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--runs" && i + 1 < argc)
            runs = std::max(1, _wtoi(argv[++i]));
        else
            programs.push_back(arg);
    }
    if (programs.empty()) {
        std::fprintf(stderr, "usage: startup_probe [--runs N] <program.exe>...\n");
        return 1;
    }
    std::vector<std::vector<double>> times(programs.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            times[p].push_back(TimeToWindow(programs[p]));
            Sleep(500); // let the previous process's end settle
        }
    }
    for (std::size_t p = 0; p < programs.size(); ++p) {
        std::printf("%s\n  runs (ms):", tarnvel::Utf8FromWide(programs[p]).c_str());
        for (double t : times[p])
            std::printf(" %.0f", t);
        std::printf("\n  median of %d: %.0f ms\n", runs, Median(times[p]));
    }
    return 0;
}
