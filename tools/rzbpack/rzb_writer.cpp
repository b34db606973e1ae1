#include "rzb_writer.h"

#include "download/package_format.h"

#include <algorithm>

namespace tarnvel::rzb {

namespace {

// The model's field runs to the header's end, unless the version text begins inside the
// header (format 18): then it needs a NUL before the version text.
std::size_t ModelFieldEnd(const PackageLayout& layout) {
    return layout.versionOffset > layout.modelOffset && layout.versionOffset < kPackageHeaderSize
               ? layout.versionOffset - 1
               : kPackageHeaderSize;
}

} // namespace

std::size_t ModelCapacity(int formatVersion) {
    const auto layout = LayoutOfFormat(formatVersion);
    return layout ? ModelFieldEnd(*layout) - layout->modelOffset : 0;
}

std::size_t VersionCapacity(int formatVersion) {
    const auto layout = LayoutOfFormat(formatVersion);
    return layout ? layout->blockLength - layout->versionOffset : 0;
}

std::vector<std::uint8_t> BuildPackageHead(const PackageFields& fields, std::uint64_t payloadSize,
                                           std::uint32_t payloadCrc, std::string& error) {
    const auto layout = LayoutOfFormat(fields.formatVersion);
    const auto magic = PackageMagic(fields.formatVersion, fields.oldMagic);
    if (!layout || !magic) {
        error = "no such format: formats are 13 to 18, the old magic only for 13";
        return {};
    }
    auto fits = [&](const std::string& text, std::size_t capacity, const char* what) {
        if (text.size() <= capacity && text.find('\0') == std::string::npos)
            return true;
        error = std::string(what) + " too long for format " + std::to_string(fields.formatVersion) +
                " (at most " + std::to_string(capacity) + " bytes)";
        return false;
    };
    if (!fits(fields.modelBytes, ModelCapacity(fields.formatVersion), "model name") ||
        !fits(fields.versionBytes, VersionCapacity(fields.formatVersion), "version text"))
        return {};
    std::vector<std::uint8_t> head(layout->blockLength + sim::kDescriptorSize, 0);
    for (int i = 0; i < 4; ++i)
        head[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*magic >> (8 * i));
    std::copy(fields.modelBytes.begin(), fields.modelBytes.end(),
              head.begin() + static_cast<long>(layout->modelOffset));
    std::copy(fields.versionBytes.begin(), fields.versionBytes.end(),
              head.begin() + static_cast<long>(layout->versionOffset));
    sim::PayloadDescriptor descriptor;
    descriptor.payloadOffset = head.size();
    descriptor.payloadSize = payloadSize;
    descriptor.payloadCrc = payloadCrc;
    descriptor.blockCrc = sim::Crc32(0, std::span(head).first(layout->blockLength));
    const auto encoded = sim::EncodeDescriptor(descriptor);
    std::copy(encoded.begin(), encoded.end(), head.begin() + static_cast<long>(layout->blockLength));
    return head;
}

std::vector<std::uint8_t> BuildPackage(const PackageFields& fields, std::string_view payload,
                                       std::string& error) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
    std::vector<std::uint8_t> package =
        BuildPackageHead(fields, payload.size(), sim::Crc32(0, std::span(bytes, payload.size())), error);
    if (!package.empty())
        package.insert(package.end(), bytes, bytes + payload.size());
    return package;
}

} // namespace tarnvel::rzb
