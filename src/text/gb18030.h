// GB18030's four-byte codes: the characters of Unicode that code page 936 has no code for. Plain
// C++: the two-byte codes are 936's and come from the system.
#pragma once

#include <optional>
#include <string>

namespace tarnvel {

// Appends the four-byte code of a code point outside 936's two-byte area; false, and nothing
// appended, for a code point that GB18030 writes in one or two bytes (or not at all).
bool AppendGb18030FourByte(std::string& out, char32_t codePoint);

} // namespace tarnvel
