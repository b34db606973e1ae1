#include "log/log_format.h"

#include "text/text_format.h"

#include <initializer_list>
#include <utility>

namespace tarnvel {

namespace {

std::wstring_view LevelWord(int level) {
    switch (level) {
    case LevelInfo:
        return L"提示:";
    case LevelWarning:
        return L"警告:";
    case LevelError:
        return L"错误:";
    default:
        return {};
    }
}

struct Field {
    int value;
    int digits;
};

// The numbers of a time stamp, zero-padded, with `separator` between them.
void AppendJoined(std::wstring& out, std::initializer_list<Field> fields, wchar_t separator) {
    bool first = true;
    for (const Field& field : fields) {
        if (!std::exchange(first, false))
            out += separator;
        out += Decimal(field.value, field.digits);
    }
}

} // namespace

std::wstring FormatLogLine(int level, std::wstring_view text, const LogTime& time) {
    const std::wstring_view word = LevelWord(level);
    if (word.empty())
        return std::wstring(text);
    std::wstring line;
    line.reserve(text.size() + 24);
    AppendJoined(line, {{time.hour, 2}, {time.minute, 2}, {time.second, 2}, {time.millisecond, 3}}, L':');
    line += L'\t';
    line += word;
    line += text;
    line += L"\r\n";
    return line;
}

std::wstring LogFolder(std::wstring_view exeFolder) {
    std::wstring folder(exeFolder);
    folder += L"\\TextLog";
    return folder;
}

std::wstring LogFileName(std::wstring_view exeFolder, unsigned cell, const LogTime& time) {
    std::wstring name = LogFolder(exeFolder);
    name += L"\\CELL";
    name += Decimal(cell);
    name += L' ';
    AppendJoined(name, {{time.year, 4}, {time.month, 2}, {time.day, 2}}, L'-');
    name += L' ';
    AppendJoined(name, {{time.hour, 2}, {time.minute, 2}, {time.second, 2}}, L'_');
    name += L".log";
    return name;
}

std::wstring DeleteTreeCommand(std::wstring_view folder) {
    std::wstring command = L"rd /s/q \"";
    for (const wchar_t c : folder) {
        command += c;
        if (c == L'%')
            command += L'%';
    }
    command += L"\"\r\n";
    return command;
}

} // namespace tarnvel
