#include "download/package_format.h"

#include <algorithm>
#include <array>

namespace tarnvel {

namespace {

struct FormatRow {
    int formatVersion;
    std::size_t modelOffset;
    std::size_t blockLength;
    std::size_t versionOffset;
};

constexpr std::array<FormatRow, 6> kFormats{{
    {13, 4, 392, 77},
    {14, 36, 556, 84},
    {15, 36, 556, 84},
    {16, 36, 556, 84},
    {17, 48, 552, 96},
    {18, 4, 100, 36},
}};

std::string_view TextAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset >= bytes.size())
        return {};
    const auto* begin = bytes.data() + offset;
    const auto* end = std::find(begin, bytes.data() + bytes.size(), std::uint8_t{0});
    return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin)};
}

} // namespace

std::optional<PackageLayout> LayoutOfFormat(int formatVersion) {
    for (const auto& row : kFormats) {
        if (row.formatVersion == formatVersion)
            return PackageLayout{row.formatVersion, row.modelOffset, row.blockLength, row.versionOffset};
    }
    return std::nullopt;
}

std::optional<PackageLayout> LayoutOfHeader(std::span<const std::uint8_t> header) {
    if (header.size() < kPackageHeaderSize)
        return std::nullopt;
    if (header[0] == 'H' && header[1] == 'S' && header[2] == 'R' && header[3] == 'Z')
        return LayoutOfFormat(13);
    // Only the exact bytes 0x01 0x03 .. 0x01 0x08 count: 0x00 0x0D also computes to 13.
    if (header[0] == 'R' && header[1] == 'Z' && header[2] == 0x01 && header[3] >= 0x03 && header[3] <= 0x08)
        return LayoutOfFormat(10 + header[3]);
    return std::nullopt;
}

std::optional<std::uint32_t> PackageMagic(int formatVersion, bool oldForm) {
    if (!LayoutOfFormat(formatVersion))
        return std::nullopt;
    auto bytes = [](std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
        return std::uint32_t{b0} | std::uint32_t{b1} << 8 | std::uint32_t{b2} << 16 | std::uint32_t{b3} << 24;
    };
    if (oldForm)
        return formatVersion == 13 ? std::optional(bytes('H', 'S', 'R', 'Z')) : std::nullopt;
    return bytes('R', 'Z', 0x01, static_cast<std::uint8_t>(formatVersion - 10));
}

std::string_view PackageModelBytes(const PackageLayout& layout, std::span<const std::uint8_t> header) {
    return TextAt(header.first(std::min(header.size(), kPackageHeaderSize)), layout.modelOffset);
}

std::string_view PackageVersionBytes(const PackageLayout& layout, std::span<const std::uint8_t> block) {
    if (block.size() < layout.blockLength)
        return {};
    return TextAt(block.first(layout.blockLength), layout.versionOffset);
}

} // namespace tarnvel
