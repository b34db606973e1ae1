// What the cell log needs from the system: the local time, the log folder and files, the 8-bit
// form of a line and the debugger output. The log calls a sink one call at a time (its file
// work is serialised), from the writer thread and from the thread that calls OpenLog.
#pragma once

#include "log/log_format.h"

#include <string>

namespace tarnvel {

class LogSink {
public:
    virtual ~LogSink() = default;

    virtual LogTime LocalTime() = 0;
    // Failures are ignored by the log: it drops what it cannot write.
    virtual void CreateFolder(const std::wstring& folder) = 0;
    // Creates the file empty when it is missing. A file of that name is kept as it is: it holds
    // the lines of the cell's run opened earlier in the same second.
    virtual void CreateFileKeepingLines(const std::wstring& file) = 0;
    // Appends the bytes, creating the file when it is missing.
    virtual void AppendToFile(const std::wstring& file, const std::string& bytes) = 0;
    // The bytes a line has in a file (code page 936 on every machine).
    virtual std::string FileBytes(const std::wstring& line) = 0;
    virtual void ToDebugger(const std::wstring& line) = 0;
};

} // namespace tarnvel
