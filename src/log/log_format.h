// How the cell log decorates its lines, names its files and words the removal of the engine's
// old log folder. Plain text code, no Win32.
#pragma once

#include <string>
#include <string_view>

namespace tarnvel {

enum LogLevel : int {
    LevelRaw = 0,     // written as it is: no stamp, no level word, no line end
    LevelInfo = 1,    // "提示:"
    LevelWarning = 2, // "警告:"
    LevelError = 3,   // "错误:"
};

inline constexpr unsigned kLogCells = 8;

struct LogTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The line as it goes to the file and the debugger: "hh:mm:ss:mmm\t", level word, text, CR LF;
// a raw line (and any level outside 1..3) is the text alone.
std::wstring FormatLogLine(int level, std::wstring_view text, const LogTime& time);

// "<folder>\TextLog\CELL<cell> yyyy-mm-dd hh_mm_ss.log".
std::wstring LogFileName(std::wstring_view exeFolder, unsigned cell, const LogTime& time);

// The folder the log files go to: "<folder>\TextLog".
std::wstring LogFolder(std::wstring_view exeFolder);

// What OpenLog queues when the cell is already open (it carries its own CR LF).
inline constexpr wchar_t kLogAlreadyOpenText[] = L"日志正在记录，开始记录日志操作被忽略!\r\n";

// The one command line of DeleteTree.bat that removes exactly `folder`: the path quoted, so
// blanks, &, ^, ( and ) stay part of it, and % doubled, because cmd expands it even between
// quotes inside a batch file.
std::wstring DeleteTreeCommand(std::wstring_view folder);

} // namespace tarnvel
