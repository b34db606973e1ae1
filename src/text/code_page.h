// Conversions between UTF-16 and 8-bit text in a Windows code page.
#pragma once

#include <string>
#include <string_view>

namespace tarnvel {

// The package's texts are written in code page 936 on every machine: to UTF-16, whatever this
// machine's code pages; a failed conversion gives "".
std::wstring WideFromCodePage936(std::string_view bytes);
// And back, for the package tool, whose bytes are the same on every machine: characters 936
// lacks become its default character, "?".
std::string CodePage936FromWide(std::wstring_view text);
// GB18030, for the cell logs: the bytes of code page 936 for every character 936 has, and the
// standard's four-byte codes for the others rather than "?".
std::string Gb18030FromWide(std::wstring_view text);

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
