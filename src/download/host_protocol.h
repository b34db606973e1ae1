// The messages between the program and the engine host, the process that holds the engine library.
// Each direction is a byte stream (an anonymous pipe) of frames: the message's kind (16 bits), the
// length of what follows (32 bits), then that many bytes. Integers are little-endian; a text is its
// length in UTF-16 units followed by the units. The program asks for the engine's exports; the host
// answers when the engine loaded, when each export returned, and relays the engine's callbacks with
// their arguments in the order the engine made them. Neither side trusts the other's bytes: anything
// that does not decode is a fault of the channel, which ends that host.
#pragma once

#include "download/engine_interface.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarnvel {

inline constexpr wchar_t kEngineHostFileName[] = L"TarnVel Engine Host.exe";
// The host's crash dumps in DumpLog: "engine-host-<n>.dmp", beside the program's "<n>.dmp".
inline constexpr wchar_t kEngineHostDumpPrefix[] = L"engine-host-";

} // namespace tarnvel

namespace tarnvel::host {

enum class MessageKind : std::uint16_t {
    // The program's requests.
    Call = 1, // an export without arguments (all but InitDownloadObj)
    Init = 2, // InitDownloadObj with its record
    // The host's answers.
    Ready = 64,    // the engine library is loaded (or not), and which exports it has
    Returned = 65, // an export returned
    MsgInfo = 66,
    Progress = 67,
    TestStatus = 68,
    MonitorStatus = 69,
    Checkdata = 70,
};

// The exports, as the program names them to the host; also the bits of Ready::exports.
enum class EngineExport : std::uint8_t { Init = 0, Verify = 1, Run = 2, Stop = 3, Release = 4 };
inline constexpr std::uint8_t kExportCount = 5;

// Room enough for three paths of the longest Windows allows and every record: a larger length
// is a fault, so a corrupt length never makes the reader wait for gigabytes.
inline constexpr std::uint32_t kMaxPayload = 256 * 1024;
inline constexpr std::size_t kFrameHeaderSize = 6;

struct CallRequest {
    EngineExport which = EngineExport::Verify;
};

// InitDownloadObj's record without its callbacks, which the host fills with its own.
struct InitRequest {
    std::wstring packagePath;
    std::wstring extraText;
    std::wstring modelName;
    std::array<std::int32_t, 4> settings{};
    std::array<std::int32_t, 7> switches{};
};

using Request = std::variant<CallRequest, InitRequest>;

struct ReadyReport {
    std::uint32_t loadError = 0; // the system's error code; 0 when the library loaded
    std::uint8_t exports = 0;    // bit (1 << EngineExport) for each export found
};

struct ReturnedReport {
    EngineExport which = EngineExport::Verify;
    std::int32_t result = 0; // InitDownloadObj's answer; 0 for the others
};

struct ProgressReport {
    std::int32_t cell = 0;
    std::int32_t total = 0;
    std::int32_t done = 0;
};

struct TestStatusReport {
    std::int32_t cell = 0;
    std::int32_t code = 0;
    std::int32_t status = 0;
};

using Report = std::variant<ReadyReport, ReturnedReport, MsgInfoRecord, ProgressReport, TestStatusReport,
                            MonitorStatusRecord, CheckdataStatusRecord>;

// A record's text travels up to its terminator or its capacity, whichever comes first; the decoded
// record holds the same units, and zeros after them.
std::vector<std::uint8_t> Encode(const Request& request);
std::vector<std::uint8_t> Encode(const Report& report);

enum class ChannelFault : std::uint8_t {
    None,
    UnknownKind,   // a kind that this direction does not carry
    Oversized,     // a length beyond kMaxPayload
    Malformed,     // a payload that is short, long, or out of range for its kind
    EndedMidFrame, // the stream ended inside a frame
};

// For the log: what went wrong, in plain words.
std::wstring_view Describe(ChannelFault fault);

// Cuts a byte stream into frames, whatever pieces it arrives in. After a fault it yields nothing
// more: the stream cannot be trusted past a bad length.
class FrameReader {
public:
    struct Frame {
        MessageKind kind{};
        std::vector<std::uint8_t> payload;
    };

    void Append(const std::uint8_t* data, std::size_t size);
    // The next whole frame, if one has arrived.
    std::optional<Frame> Next();
    // To be asked when the stream has ended: a frame begun and not finished is a fault.
    void EndOfStream();
    ChannelFault Fault() const { return fault_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0; // where the next frame begins in buffer_
    ChannelFault fault_ = ChannelFault::None;
};

// Each side decodes only what the other side sends; on a fault `out` is left as it was.
ChannelFault Decode(const FrameReader::Frame& frame, Request& out);
ChannelFault Decode(const FrameReader::Frame& frame, Report& out);

} // namespace tarnvel::host
