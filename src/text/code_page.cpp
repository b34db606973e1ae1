#include "text/code_page.h"

#include "text/text_format.h"

#include <windows.h>

#include <climits>
#include <vector>

namespace tarnvel {

namespace {

// The package's texts and the cell logs are in this code page on every machine.
constexpr UINT kCodePageGbk = 936;

std::wstring ToWide(UINT codePage, DWORD flags, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, bytes.data(), size, text.data(), length) != length)
        return {};
    return text;
}

std::string ToBytes(UINT codePage, std::wstring_view text, BOOL* usedDefault) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    // The code pages of UTF-8 and UTF-7 refuse a default-character flag pointer.
    const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
    BOOL* flag = utf ? nullptr : usedDefault;
    const int length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, flag);
    if (length <= 0)
        return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, bytes.data(), length, nullptr, flag);
    return bytes;
}

} // namespace

std::wstring WideFromCodePage936(std::string_view bytes) {
    return ToWide(kCodePageGbk, 0, bytes);
}

std::string CodePage936FromWide(std::wstring_view text) {
    return ToBytes(kCodePageGbk, text, nullptr);
}

bool OemFromWideExact(std::wstring_view text, std::string& out) {
    BOOL usedDefault = FALSE;
    out = ToBytes(CP_OEMCP, text, &usedDefault);
    if (usedDefault)
        return false;
    // Best-fit mappings (say, a full-width letter to its ASCII twin) would name another folder.
    return ToWide(CP_OEMCP, 0, out) == text;
}

std::wstring WideFromUtf8(std::string_view bytes) {
    return ToWide(CP_UTF8, 0, bytes);
}

std::string Utf8FromWide(std::wstring_view text) {
    return ToBytes(CP_UTF8, text, nullptr);
}

std::wstring ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ExecutableFolder() {
    return FolderOfPath(ExecutablePath());
}

} // namespace tarnvel
