#include "log/cell_log.h"

#include "text/code_page.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace tarnvel {

namespace {

LogTime LocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr)
            CloseHandle(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

private:
    HANDLE handle_; // owned
};

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
        ScopedHandle batch(CreateFileW(batchPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!batch.IsValid() || !WriteAll(batch.Get(), command))
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
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

CellLog::CellLog() : exeFolder_(ExecutableFolder()) {
    StartFolderRemoval(exeFolder_);
    writer_ = std::thread([this] { WriterThread(); });
}

CellLog::~CellLog() {
    {
        std::lock_guard wakeLock(wakeMutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

void CellLog::PostLine(unsigned cell, int level, std::wstring_view text) {
    if (cell >= kLogCells)
        return;
    Entry entry{level, std::wstring(text), nullptr};
    std::lock_guard lock(mutex_);
    slots_[cell].queue.push_back(std::move(entry));
}

void CellLog::OpenLog(unsigned cell) {
    if (cell >= kLogCells)
        return;
    std::lock_guard fileLock(fileMutex_);
    std::deque<Entry> bound;
    std::wstring name;
    {
        std::lock_guard lock(mutex_);
        Slot& slot = slots_[cell];
        if (slot.isOpen) {
            slot.queue.push_back({LevelWarning, kLogAlreadyOpenText, nullptr});
            return;
        }
        // Lines still owed to the cell's last file go there first: within the same second it
        // has the name the new file gets, which is then truncated.
        while (!slot.queue.empty() && slot.queue.front().file) {
            bound.push_back(std::move(slot.queue.front()));
            slot.queue.pop_front();
        }
        name = LogFileName(exeFolder_, cell, LocalTime());
    }
    WriteLines(bound, {});
    CreateDirectoryW(LogFolder(exeFolder_).c_str(), nullptr);
    ScopedHandle created(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::lock_guard lock(mutex_);
    slots_[cell].fileName = std::move(name);
    slots_[cell].isOpen = true;
}

void CellLog::CloseLog(unsigned cell) {
    if (cell >= kLogCells)
        return;
    std::lock_guard lock(mutex_);
    Slot& slot = slots_[cell];
    if (!slot.isOpen)
        return;
    auto file = std::make_shared<const std::wstring>(std::move(slot.fileName));
    for (Entry& entry : slot.queue) {
        if (!entry.file)
            entry.file = file;
    }
    slot.isOpen = false;
    slot.fileName.clear();
}

std::wstring CellLog::FileNameOf(unsigned cell) const {
    if (cell >= kLogCells)
        return {};
    std::lock_guard lock(mutex_);
    return slots_[cell].fileName;
}

std::size_t CellLog::QueuedLines() const {
    std::lock_guard lock(mutex_);
    std::size_t queued = 0;
    for (const Slot& slot : slots_)
        queued += slot.queue.size();
    return queued;
}

void CellLog::WriterThread() {
    using namespace std::chrono_literals;
    while (running_) {
        WritePass();
        std::unique_lock wakeLock(wakeMutex_);
        wake_.wait_for(wakeLock, 5ms, [this] { return !running_; });
    }
    // Whatever was posted before destruction still reaches its file.
    while (WritePass()) {
    }
}

bool CellLog::WritePass() {
    std::lock_guard fileLock(fileMutex_);
    std::deque<Entry> taken[kLogCells];
    std::wstring current[kLogCells]; // empty: the cell was closed when its lines were taken
    bool any = false;
    {
        std::lock_guard lock(mutex_);
        for (unsigned cell = 0; cell < kLogCells; ++cell) {
            Slot& slot = slots_[cell];
            if (slot.queue.empty())
                continue;
            any = true;
            taken[cell].swap(slot.queue);
            if (slot.isOpen)
                current[cell] = slot.fileName;
        }
    }
    for (unsigned cell = 0; cell < kLogCells; ++cell)
        WriteLines(taken[cell], current[cell]);
    return any;
}

void CellLog::WriteLines(const std::deque<Entry>& lines, const std::wstring& current) {
    std::string bytes;
    const std::wstring* target = nullptr;
    auto flush = [&] {
        if (target != nullptr && !target->empty() && !bytes.empty()) {
            // Opened once for these lines and closed after, so the file is complete on disk.
            ScopedHandle file(CreateFileW(target->c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file.IsValid())
                WriteAll(file.Get(), bytes);
        }
        bytes.clear();
    };
    for (const Entry& entry : lines) {
        const std::wstring* file = entry.file ? entry.file.get() : &current;
        if (target == nullptr || *file != *target) {
            flush();
            target = file;
        }
        const std::wstring line = FormatLogLine(entry.level, entry.text, LocalTime());
        if (line.empty())
            continue;
        OutputDebugStringW(line.c_str());
        if (!target->empty())
            bytes += AnsiFromWide(line);
    }
    flush();
}

} // namespace tarnvel
