// The cell log's files, clock and debugger output in memory. It takes no lock of its own: the
// log promises to call its sink one call at a time, and a sanitizer then sees any call that
// breaks the promise as a race. Read it only after the log is gone.
#pragma once

#include "log/log_sink.h"

#include <map>
#include <string>
#include <vector>

namespace tarnvel::testing {

class MemoryLogSink final : public LogSink {
public:
    // distinctSeconds: every look at the clock is one second later, so no two files share a
    // name; otherwise the clock stays within one second, so a cell's files do.
    explicit MemoryLogSink(bool distinctSeconds) : distinctSeconds_(distinctSeconds) {}

    LogTime LocalTime() override {
        const long long tick = ticks_++;
        const long long seconds = distinctSeconds_ ? tick : 0;
        LogTime time;
        time.year = 2016;
        time.month = 2;
        time.day = 1 + static_cast<int>(seconds / 86400);
        time.hour = static_cast<int>(seconds / 3600 % 24);
        time.minute = static_cast<int>(seconds / 60 % 60);
        time.second = static_cast<int>(seconds % 60);
        time.millisecond = static_cast<int>(tick % 1000);
        return time;
    }
    void CreateFolder(const std::wstring&) override { ++folders_; }
    void CreateFileKeepingLines(const std::wstring& file) override {
        files_.try_emplace(file);
        ++creates_;
    }
    void AppendToFile(const std::wstring& file, const std::string& bytes) override { files_[file] += bytes; }
    // ASCII stays as it is; anything else becomes '?', as a code page's default character would.
    std::string FileBytes(const std::wstring& line) override {
        std::string bytes;
        bytes.reserve(line.size());
        for (const wchar_t c : line)
            bytes += c < 0x80 ? static_cast<char>(c) : '?';
        return bytes;
    }
    void ToDebugger(const std::wstring& line) override { debugger_.push_back(line); }

    const std::map<std::wstring, std::string>& Files() const { return files_; }
    const std::vector<std::wstring>& Debugger() const { return debugger_; }
    long long Creates() const { return creates_; }
    long long Ticks() const { return ticks_; }

private:
    const bool distinctSeconds_;
    long long ticks_ = 0;
    long long folders_ = 0;
    long long creates_ = 0;
    std::map<std::wstring, std::string> files_;
    std::vector<std::wstring> debugger_;
};

} // namespace tarnvel::testing
