// What must hold for any file handed to the package header reader, checked on a file's bytes:
// both operations (model name from the 64-byte header, version text from the version block),
// under the layout the magic names and under every other layout too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarnvel {

// Empty when everything holds; otherwise what did not.
std::string PackageInputProblem(std::span<const std::uint8_t> file);

} // namespace tarnvel
