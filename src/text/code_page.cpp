#include "text/code_page.h"

#include "text/gb18030.h"
#include "text/text_format.h"

#include <windows.h>

#include <climits>
#include <vector>

namespace tarnvel {

namespace {

// The package's texts are in this code page on every machine, and the cell logs in GB18030, which
// extends it.
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

std::string ToBytes(UINT codePage, std::wstring_view text, BOOL* usedDefault, DWORD flags = 0) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    // The code pages of UTF-8 and UTF-7 refuse a default-character flag pointer.
    const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
    BOOL* flag = utf ? nullptr : usedDefault;
    const int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, flag);
    if (length <= 0)
        return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), size, bytes.data(), length, nullptr, flag);
    return bytes;
}

} // namespace

std::wstring WideFromCodePage936(std::string_view bytes) {
    return ToWide(kCodePageGbk, 0, bytes);
}

std::string CodePage936FromWide(std::wstring_view text) {
    return ToBytes(kCodePageGbk, text, nullptr);
}

// Code page 54936 itself is missing where this is tested (and it writes the euro sign apart from
// 936), so GB18030 is built here: 936's bytes for what 936 has, the four-byte codes for the rest.
std::string Gb18030FromWide(std::wstring_view text) {
    BOOL usedDefault = FALSE;
    std::string bytes = ToBytes(kCodePageGbk, text, &usedDefault, WC_NO_BEST_FIT_CHARS);
    if (!usedDefault)
        return bytes;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendGb18030FourByte(bytes,
                                  0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
            continue;
        }
        BOOL missing = FALSE;
        const std::string one = ToBytes(kCodePageGbk, text.substr(i, 1), &missing, WC_NO_BEST_FIT_CHARS);
        if (!missing)
            bytes += one;
        else if (!AppendGb18030FourByte(bytes, unit))
            bytes += '?'; // a lone surrogate, or one of the few two-byte codes 936 lacks
    }
    return bytes;
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
