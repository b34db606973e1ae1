// The part of an RZB package that only the engine reads: a descriptor right after the version
// block that says where the payload lies and what its checksums are. Plain code, shared by the
// simulated engine and the package tool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tarnvel::sim {

inline constexpr std::size_t kDescriptorSize = 32;

struct PayloadDescriptor {
    std::uint64_t payloadOffset = 0;
    std::uint64_t payloadSize = 0;
    std::uint32_t payloadCrc = 0; // CRC-32 of the payload
    std::uint32_t blockCrc = 0;   // CRC-32 of the version block (the header included)
};

// "TVPD", descriptor version 1, then the fields little-endian.
std::array<std::uint8_t, kDescriptorSize> EncodeDescriptor(const PayloadDescriptor& descriptor);
std::optional<PayloadDescriptor> DecodeDescriptor(std::span<const std::uint8_t> bytes);

// CRC-32 (IEEE 802.3, as zip uses), fed piece by piece: start with 0.
std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> bytes);

// The deterministic bytes of a generated payload, piece by piece.
class PayloadGenerator {
public:
    explicit PayloadGenerator(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    void Fill(std::span<std::uint8_t> bytes);

private:
    std::uint64_t state_;
};

} // namespace tarnvel::sim
