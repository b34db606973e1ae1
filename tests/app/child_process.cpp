#include "child_process.h"

#include "text/code_page.h"

#include <fstream>
#include <system_error>

namespace tarnvel::test {

namespace {

constexpr DWORD kPollMs = 20;

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

} // namespace

std::filesystem::path BinFolder() {
    return std::filesystem::path(ExecutableFolder());
}

std::filesystem::path FreshScratchFolder(const std::string& name) {
    const std::filesystem::path folder = BinFolder().parent_path() / "test-scratch" / name;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    return folder;
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string FileSignature(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char signature[4] = {};
    in.read(signature, sizeof(signature));
    return std::string(signature, static_cast<std::size_t>(in.gcount()));
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    std::vector<HWND> all;
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> found;
    for (HWND window : all) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window))
            found.push_back(window);
    }
    return found;
}

bool IsMessageBox(HWND window) {
    return ClassName(window) == L"#32770" && GetDlgItem(window, 0xFFFF) != nullptr;
}

bool IsMainDialog(HWND window) {
    return ClassName(window) == L"#32770" && !IsMessageBox(window);
}

ChildProcess::ChildProcess(const std::filesystem::path& exe, const std::filesystem::path& workingFolder,
                           const std::string& argument) {
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    if (!argument.empty())
        commandLine += L" " + std::wstring(argument.begin(), argument.end()); // plain ASCII words
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.c_str(), &startup, &info))
        return;
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
}

ChildProcess::~ChildProcess() {
    if (IsRunning()) {
        TerminateProcess(process_.get(), 0xDEAD);
        WaitForSingleObject(process_.get(), 5000);
    }
}

bool ChildProcess::IsRunning() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::WaitForExit(DWORD timeoutMs) const {
    return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

int ChildProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_.get(), &code);
    return static_cast<int>(code);
}

HWND ChildProcess::WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs) const {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (process_) {
        for (HWND window : VisibleWindowsOf(id_)) {
            if (match(window))
                return window;
        }
        if (!IsRunning() || GetTickCount64() >= deadline)
            return nullptr;
        Sleep(kPollMs);
    }
    return nullptr;
}

ChildProcess::Ending ChildProcess::WatchUntilExit(DWORD timeoutMs) const {
    Ending ending;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (process_) {
        if (!VisibleWindowsOf(id_).empty())
            ending.windowSeen = true;
        if (WaitForSingleObject(process_.get(), kPollMs) == WAIT_OBJECT_0) {
            ending.exited = true;
            break;
        }
        if (GetTickCount64() >= deadline)
            break;
    }
    return ending;
}

} // namespace tarnvel::test
