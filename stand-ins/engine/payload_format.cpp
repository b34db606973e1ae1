#include "payload_format.h"

namespace tarnvel::sim {

namespace {

constexpr std::uint8_t kMagic[4] = {'T', 'V', 'P', 'D'};
constexpr std::uint32_t kDescriptorVersion = 1;

void Put(std::uint8_t* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t Get(const std::uint8_t* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint64_t{at[i]} << (8 * i);
    return value;
}

std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

} // namespace

std::array<std::uint8_t, kDescriptorSize> EncodeDescriptor(const PayloadDescriptor& descriptor) {
    std::array<std::uint8_t, kDescriptorSize> bytes{};
    for (int i = 0; i < 4; ++i)
        bytes[i] = kMagic[i];
    Put(&bytes[4], kDescriptorVersion, 4);
    Put(&bytes[8], descriptor.payloadOffset, 8);
    Put(&bytes[16], descriptor.payloadSize, 8);
    Put(&bytes[24], descriptor.payloadCrc, 4);
    Put(&bytes[28], descriptor.blockCrc, 4);
    return bytes;
}

std::optional<PayloadDescriptor> DecodeDescriptor(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kDescriptorSize)
        return std::nullopt;
    for (int i = 0; i < 4; ++i) {
        if (bytes[i] != kMagic[i])
            return std::nullopt;
    }
    if (Get(&bytes[4], 4) != kDescriptorVersion)
        return std::nullopt;
    PayloadDescriptor descriptor;
    descriptor.payloadOffset = Get(&bytes[8], 8);
    descriptor.payloadSize = Get(&bytes[16], 8);
    descriptor.payloadCrc = static_cast<std::uint32_t>(Get(&bytes[24], 4));
    descriptor.blockCrc = static_cast<std::uint32_t>(Get(&bytes[28], 4));
    return descriptor;
}

std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    static const std::array<std::uint32_t, 256> table = MakeCrcTable();
    crc = ~crc;
    for (const std::uint8_t byte : bytes)
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PayloadGenerator::Fill(std::span<std::uint8_t> bytes) {
    for (auto& byte : bytes) {
        // xorshift64*: cheap and the same on every platform.
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        byte = static_cast<std::uint8_t>((state_ * 0x2545F4914F6CDD1Dull) >> 56);
    }
}

} // namespace tarnvel::sim
