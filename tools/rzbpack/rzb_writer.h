// Builds the head of an RZB package (version block and payload descriptor) for a model name,
// a version text and a payload of known size and checksum. Plain code.
#pragma once

#include "payload_format.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvel::rzb {

struct PackageFields {
    int formatVersion = 18;
    bool oldMagic = false;  // "HSRZ" instead of "RZ" 0x01 0x03, for format 13 only
    std::string modelBytes; // in the code page the reader converts from
    std::string versionBytes;
};

// The bytes that come before the payload; empty with `error` set when the fields do not fit
// (unknown format, a text too long for its field).
std::vector<std::uint8_t> BuildPackageHead(const PackageFields& fields, std::uint64_t payloadSize,
                                           std::uint32_t payloadCrc, std::string& error);

// A whole package in memory, for tests and small payloads.
std::vector<std::uint8_t> BuildPackage(const PackageFields& fields, std::string_view payload,
                                       std::string& error);

// Longest model name and version text that a format holds.
std::size_t ModelCapacity(int formatVersion);
std::size_t VersionCapacity(int formatVersion);

} // namespace tarnvel::rzb
