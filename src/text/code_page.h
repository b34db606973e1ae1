// Conversions between UTF-16 and 8-bit text in a Windows code page.
#pragma once

#include <string>
#include <string_view>

namespace tarnvel {

// 8-bit text in the calling thread's ANSI code page to UTF-16; a failed conversion gives "".
std::wstring WideFromThreadAnsi(std::string_view bytes);

// UTF-16 to 8-bit text in the process's ANSI code page; unrepresentable characters become the
// code page's default character.
std::string AnsiFromWide(std::wstring_view text);

// UTF-16 to the OEM code page (what cmd.exe reads a batch file in). False when some character
// cannot be written faithfully in it.
bool OemFromWideExact(std::wstring_view text, std::string& out);

// UTF-8 <-> UTF-16, for tools and tests.
std::wstring WideFromUtf8(std::string_view bytes);
std::string Utf8FromWide(std::wstring_view text);

// Full path of the running executable and its folder (without the trailing backslash);
// empty when the system cannot tell.
std::wstring ExecutablePath();
std::wstring ExecutableFolder();

} // namespace tarnvel
