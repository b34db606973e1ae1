#include "download/event_lines.h"

#include "download/engine_interface.h"
#include "log/log_format.h"
#include "text/text_format.h"

#include <cstdint>
#include <initializer_list>

namespace tarnvel {

namespace {

std::wstring Line(std::wstring_view name, std::initializer_list<int> numbers) {
    std::wstring line = L"HNDA:";
    line += name;
    line += L':';
    bool first = true;
    for (const int number : numbers) {
        if (!first)
            line += L", ";
        first = false;
        line += Decimal(number);
    }
    return line;
}

// The failure is an error, the engine's other known codes are information, anything else is
// written raw.
template <typename Status>
int StatusLevel(int status, Status failure, std::initializer_list<Status> informative) {
    if (static_cast<Status>(status) == failure)
        return LevelError;
    for (Status known : informative) {
        if (static_cast<Status>(status) == known)
            return LevelInfo;
    }
    return LevelRaw;
}

} // namespace

std::wstring MsgInfoLine(int cell, int msgType, std::wstring_view text, std::wstring_view detail) {
    std::wstring line = Line(L"USendMsgInfo", {cell, msgType});
    line += L", ";
    line += text;
    line += L", ";
    line += detail;
    return line;
}

std::wstring EngineGoneLine(std::uint32_t exitCode) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring line = L"下载引擎意外退出 (0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        line += kDigits[(exitCode >> shift) & 0xF];
    line += L')';
    return line;
}

std::wstring ShowProgressLine(int cell, int total, int done) {
    return Line(L"UShowProgress", {cell, total, done});
}

std::wstring TestStatusLine(int cell, int code, int status) {
    return Line(L"UTestStatus", {cell, code, status});
}

std::wstring MonitorStatusLine(int cell, int status, std::wstring_view text) {
    std::wstring line = Line(L"UMonitorStatus", {cell, status});
    line += L", ";
    line += text;
    return line;
}

std::wstring CheckdataStatusLine(int cell, int status, std::wstring_view text) {
    std::wstring line = Line(L"UCheckdataStatus", {cell, status});
    line += L", ";
    line += static_cast<CheckdataStatus>(status) == CheckdataStatus::Passed
                ? std::wstring_view(L"Verify data file OK!")
                : text;
    return line;
}

int MsgInfoLevel(int msgType) {
    switch (static_cast<MsgGrade>(msgType)) {
    case MsgGrade::Error:
        return LevelError;
    case MsgGrade::Warning:
        return LevelWarning;
    case MsgGrade::Information:
    case MsgGrade::Note:
        return LevelInfo;
    default:
        return LevelRaw;
    }
}

int TestStatusLevel(int status) {
    return StatusLevel(status, TestStatus::Failed,
                       {TestStatus::Started, TestStatus::Succeeded, TestStatus::Logged4});
}

int CheckdataStatusLevel(int status) {
    return StatusLevel(status, CheckdataStatus::Failed,
                       {CheckdataStatus::Logged0, CheckdataStatus::Logged1, CheckdataStatus::Passed});
}

std::optional<int> ProgressPercentForHook(int total, int done) {
    if (total == 0)
        return 0;
    const std::int64_t percent = std::int64_t{done} * 100 / total;
    if (percent < 0 || percent > 98)
        return std::nullopt;
    return static_cast<int>(percent);
}

std::wstring_view ModelForEngine(std::wstring_view model) {
    return model == L"5512QDS" ? L"5512Q" : model;
}

} // namespace tarnvel
