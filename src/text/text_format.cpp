#include "text/text_format.h"

#include <algorithm>

namespace tarnvel {

namespace {

template <typename Char> std::basic_string<Char> DecimalOf(long long value, int minDigits) {
    // Work on the magnitude as unsigned so that the smallest long long has a magnitude too.
    const bool negative = value < 0;
    unsigned long long magnitude =
        negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    Char digits[32];
    int count = 0;
    do {
        digits[count++] = static_cast<Char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::basic_string<Char> text;
    if (negative)
        text.push_back(static_cast<Char>('-'));
    for (int pad = count; pad < minDigits; ++pad)
        text.push_back(static_cast<Char>('0'));
    while (count > 0)
        text.push_back(digits[--count]);
    return text;
}

} // namespace

std::wstring Decimal(long long value, int minDigits) {
    return DecimalOf<wchar_t>(value, minDigits);
}

std::string DecimalA(long long value, int minDigits) {
    return DecimalOf<char>(value, minDigits);
}

std::wstring PercentText(int percent) {
    return Decimal(percent) + L"%";
}

std::wstring FolderOfPath(std::wstring_view path) {
    const auto slash = path.rfind(L'\\');
    return slash == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, slash));
}

std::wstring_view BoundedText(const wchar_t* field, std::size_t capacity) {
    const wchar_t* end = std::find(field, field + capacity, L'\0');
    return {field, static_cast<std::size_t>(end - field)};
}

std::string_view BoundedText(const char* field, std::size_t capacity) {
    const char* end = std::find(field, field + capacity, '\0');
    return {field, static_cast<std::size_t>(end - field)};
}

} // namespace tarnvel
