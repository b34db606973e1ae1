#include "log/log_format.h"

#include "text/text_format.h"

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

} // namespace

std::wstring FormatLogLine(int level, std::wstring_view text, const LogTime& time) {
    const std::wstring_view word = LevelWord(level);
    if (word.empty())
        return std::wstring(text);
    std::wstring line;
    line.reserve(text.size() + 24);
    line += Decimal(time.hour, 2);
    line += L':';
    line += Decimal(time.minute, 2);
    line += L':';
    line += Decimal(time.second, 2);
    line += L':';
    line += Decimal(time.millisecond, 3);
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
    name += Decimal(time.year, 4);
    name += L'-';
    name += Decimal(time.month, 2);
    name += L'-';
    name += Decimal(time.day, 2);
    name += L' ';
    name += Decimal(time.hour, 2);
    name += L'_';
    name += Decimal(time.minute, 2);
    name += L'_';
    name += Decimal(time.second, 2);
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
