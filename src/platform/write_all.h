// Writes to a file or pipe until every byte is out: a pipe may take a large write in pieces.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

namespace tarnvel {

// False as soon as a write fails or takes nothing (the reader is gone).
bool WriteAll(HANDLE file, std::span<const std::uint8_t> bytes);

} // namespace tarnvel
