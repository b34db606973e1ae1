#include "package_checks.h"

#include "download/package_format.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace tarnvel {

namespace {

// The format as the package documentation gives it, written out again on purpose: the reader's
// own table is what is under test.
struct ExpectedRow {
    std::uint8_t magic[4];
    int formatVersion;
    std::size_t modelOffset;
    std::size_t blockLength;
    std::size_t versionOffset;
};
constexpr std::array<ExpectedRow, 7> kExpected{{
    {{'H', 'S', 'R', 'Z'}, 13, 4, 392, 77},
    {{'R', 'Z', 0x01, 0x03}, 13, 4, 392, 77},
    {{'R', 'Z', 0x01, 0x04}, 14, 36, 556, 84},
    {{'R', 'Z', 0x01, 0x05}, 15, 36, 556, 84},
    {{'R', 'Z', 0x01, 0x06}, 16, 36, 556, 84},
    {{'R', 'Z', 0x01, 0x07}, 17, 48, 552, 96},
    {{'R', 'Z', 0x01, 0x08}, 18, 4, 100, 36},
}};

const ExpectedRow* ExpectedFor(std::span<const std::uint8_t> header) {
    if (header.size() < kPackageHeaderSize)
        return nullptr;
    for (const auto& row : kExpected) {
        if (std::equal(row.magic, row.magic + 4, header.begin()))
            return &row;
    }
    return nullptr;
}

// A text taken from `bytes` at `offset`: it must lie inside them, start at the offset, hold no NUL
// and end at a NUL or at the end of the bytes.
std::string TextProblem(std::string_view text, std::span<const std::uint8_t> bytes, std::size_t offset,
                        const char* what) {
    const auto* begin = reinterpret_cast<const char*>(bytes.data());
    const auto* end = begin + bytes.size();
    if (offset >= bytes.size())
        return text.empty() ? std::string() : std::string(what) + " found past the bytes read";
    if (text.data() != begin + offset)
        return std::string(what) + " does not start at its offset";
    if (text.size() > bytes.size() - offset)
        return std::string(what) + " runs past the bytes read";
    if (text.find('\0') != std::string_view::npos)
        return std::string(what) + " holds a NUL";
    if (text.data() + text.size() != end && text.data()[text.size()] != '\0')
        return std::string(what) + " stops before its NUL";
    return {};
}

// Copies into a block of exactly that size, so that a read past it is a heap overflow that
// AddressSanitizer reports.
std::vector<std::uint8_t> Exactly(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

std::string LayoutProblem(const PackageLayout& layout, std::span<const std::uint8_t> file) {
    // ReadPackageModel: the first 64 bytes only, and only when 64 arrived.
    const auto header = Exactly(file.first(std::min(file.size(), kPackageHeaderSize)));
    const std::string_view model = PackageModelBytes(layout, header);
    if (header.size() == kPackageHeaderSize) {
        if (auto problem = TextProblem(model, header, layout.modelOffset, "model name"); !problem.empty())
            return problem;
    }
    // Handed more than the header, the model name still ends at the header's end.
    const std::string_view modelOfWhole = PackageModelBytes(layout, file);
    if (file.size() >= kPackageHeaderSize && modelOfWhole.size() + layout.modelOffset > kPackageHeaderSize)
        return "model name read past the 64-byte header";

    // ReadPackageVersion: the block is the file's first blockLength bytes; a shorter file gives
    // nothing.
    const auto block = Exactly(file.first(std::min(file.size(), layout.blockLength)));
    const std::string_view version = PackageVersionBytes(layout, block);
    if (block.size() < layout.blockLength) {
        if (!version.empty())
            return "version text from a short block";
    } else if (auto problem = TextProblem(version, block, layout.versionOffset, "version text");
               !problem.empty()) {
        return problem;
    }
    const std::string_view versionOfWhole = PackageVersionBytes(layout, file);
    if (file.size() >= layout.blockLength &&
        versionOfWhole.size() + layout.versionOffset > layout.blockLength)
        return "version text read past the version block";
    return {};
}

} // namespace

std::string PackageInputProblem(std::span<const std::uint8_t> file) {
    const auto header = Exactly(file.first(std::min(file.size(), kPackageHeaderSize)));
    const ExpectedRow* expected = ExpectedFor(header);
    const std::optional<PackageLayout> layout = LayoutOfHeader(header);
    if (!expected != !layout)
        return expected ? "a package magic was rejected" : "a foreign magic was accepted";
    if (layout) {
        if (layout->formatVersion != expected->formatVersion ||
            layout->modelOffset != expected->modelOffset || layout->blockLength != expected->blockLength ||
            layout->versionOffset != expected->versionOffset)
            return "the magic selects the wrong layout";
    }
    // The text extraction of every version, whatever the magic says.
    for (int formatVersion = kOldestPackageFormat; formatVersion <= kNewestPackageFormat; ++formatVersion) {
        const auto other = LayoutOfFormat(formatVersion);
        if (!other)
            return "a format version has no layout";
        if (auto problem = LayoutProblem(*other, file); !problem.empty())
            return problem + " (format " + std::to_string(formatVersion) + ")";
    }
    return {};
}

} // namespace tarnvel
