// The cell log's system side: files, local time and debugger output through Win32, and the
// start-up removal of the engine's old log folder.
#include "log/cell_log.h"

#include "platform/unique_handle.h"
#include "text/code_page.h"

#include <windows.h>

#include <algorithm>

namespace tarnvel {

namespace {

LogTime SystemLocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// Each file is opened for one write and closed after, so it is complete on disk at all times
// and other programs can read it while the log runs.
class SystemLogSink final : public LogSink {
public:
    LogTime LocalTime() override { return SystemLocalTime(); }
    void CreateFolder(const std::wstring& folder) override { CreateDirectoryW(folder.c_str(), nullptr); }
    void CreateFileKeepingLines(const std::wstring& file) override {
        UniqueHandle created(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    void AppendToFile(const std::wstring& file, const std::string& bytes) override {
        UniqueHandle opened(CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (opened)
            WriteAll(opened.Get(), bytes);
    }
    std::string FileBytes(const std::wstring& line) override { return Gb18030FromWide(line); }
    void ToDebugger(const std::wstring& line) override { OutputDebugStringW(line.c_str()); }
};

// The folder, once the removal of the engine's old log in it has been started.
std::wstring RemovingEngineLogIn(std::wstring exeFolder) {
    StartFolderRemoval(exeFolder);
    return exeFolder;
}

} // namespace

bool StartFolderRemoval(const std::wstring& exeFolder) {
    // Without the executable's folder there is no telling which MTK_Log is meant.
    if (exeFolder.empty())
        return false;
    std::string command;
    if (!OemFromWideExact(DeleteTreeCommand(exeFolder + L"\\MTK_Log"), command))
        return false;
    const std::wstring batchPath = exeFolder + L"\\DeleteTree.bat";
    {
        UniqueHandle batch(CreateFileW(batchPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!batch || !WriteAll(batch.Get(), command))
            return false;
    }
    // The batch file is started by its bare name from inside the folder: cmd parses the command
    // line it is started with, where a full path with & would be split and %...% expanded.
    // /d: no AutoRun commands; /v:off: a ! in the path stays a !.
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::wstring cmd = std::wstring(system, length) + L"\\cmd.exe";
    std::wstring commandLine = L"cmd.exe /d /v:off /c DeleteTree.bat";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(cmd.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        exeFolder.c_str(), &startup, &process))
        return false;
    // The removal runs on by itself: nothing here waits for it.
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    return true;
}

CellLog::CellLog() : CellLog(RemovingEngineLogIn(ExecutableFolder()), std::make_shared<SystemLogSink>()) {}

} // namespace tarnvel
