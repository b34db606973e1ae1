// Plain text helpers shared by the log, the controller and the views. No Win32 here, so the
// native (sanitizer) build can use them too.
#pragma once

#include <string>
#include <string_view>

namespace tarnvel {

// Signed decimal, left-padded with zeros to at least minDigits digits ("%02d", "%03d").
std::wstring Decimal(long long value, int minDigits = 0);
std::string DecimalA(long long value, int minDigits = 0);

// "37%" for 37: the way every percentage is shown.
std::wstring PercentText(int percent);

// The part of a path before its last backslash; empty when there is none.
std::wstring FolderOfPath(std::wstring_view path);

// A fixed-capacity text field read up to its terminator, never beyond its capacity.
std::wstring_view BoundedText(const wchar_t* field, std::size_t capacity);
std::string_view BoundedText(const char* field, std::size_t capacity);

} // namespace tarnvel
