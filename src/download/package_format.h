// Where an RZB package keeps its magic, model name and version text. Plain byte-buffer code
// shared by the program's header reader and the package tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tarnvel {

inline constexpr std::size_t kPackageHeaderSize = 64;
inline constexpr int kOldestPackageFormat = 13;
inline constexpr int kNewestPackageFormat = 18;

struct PackageLayout {
    int formatVersion;
    std::size_t modelOffset;   // inside the 64-byte header
    std::size_t blockLength;   // the version block: the file's first blockLength bytes
    std::size_t versionOffset; // inside the version block
};

// The layout of a format version 13 to 18; nothing for any other number.
std::optional<PackageLayout> LayoutOfFormat(int formatVersion);

// The layout named by the first four bytes of a header; nothing when they are no package
// magic or fewer than 64 header bytes are given.
std::optional<PackageLayout> LayoutOfHeader(std::span<const std::uint8_t> header);

// The four magic bytes a writer puts down for a format version; `oldForm` picks "HSRZ" for 13.
std::optional<std::uint32_t> PackageMagic(int formatVersion, bool oldForm);

// The model name's bytes: from its offset up to the first NUL, at most to the header's end.
std::string_view PackageModelBytes(const PackageLayout& layout, std::span<const std::uint8_t> header);

// The version text's bytes: from its offset up to the first NUL, at most to the block's end.
// Empty when fewer than blockLength bytes are given.
std::string_view PackageVersionBytes(const PackageLayout& layout, std::span<const std::uint8_t> block);

} // namespace tarnvel
