// The binary interface of the download engine library dVarnok.dll: the record handed to
// InitDownloadObj, the three records its callbacks receive by value, the five exports and the
// five callbacks. Integers are 32-bit, texts UTF-16, records without gaps but one:
// EngineInitParams on x64.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define TARNVEL_ENGINE_CALL __cdecl
#else
#define TARNVEL_ENGINE_CALL
#endif

namespace tarnvel {

using EngineChar = wchar_t;

inline constexpr std::size_t kMsgInfoTextCapacity = 256;
inline constexpr std::size_t kMsgInfoDetailCapacity = 1024;
inline constexpr std::size_t kMonitorTextCapacity = 64;
inline constexpr std::size_t kCheckdataTextCapacity = 1024;

struct MsgInfoRecord {
    std::int32_t cell;
    std::int32_t msgType;
    EngineChar text[kMsgInfoTextCapacity];
    EngineChar detail[kMsgInfoDetailCapacity];
};

struct MonitorStatusRecord {
    EngineChar text[kMonitorTextCapacity];
    std::int32_t cell;
    std::int32_t status;
};

struct CheckdataStatusRecord {
    std::int32_t cell;
    std::int32_t status;
    EngineChar text[kCheckdataTextCapacity];
};

// The codes the callbacks carry. The log prints the engine's raw numbers; any other value may come
// and is only logged. Values marked "logged" mean nothing to the program beyond their log level.

// USendMsgInfo's msgType: the grade of the message.
enum class MsgGrade : std::int32_t { Error = 0, Warning = 1, Information = 2, Note = 3 };

// UTestStatus's status: the download on a cell.
enum class TestStatus : std::int32_t { Started = 1, Succeeded = 2, Failed = 3, Logged4 = 4 };

// UMonitorStatus's status: the device on a cell; any value but Busy means idle.
enum class MonitorStatus : std::int32_t { Idle = 0, Busy = 1 };

// UCheckdataStatus's status: the package verification.
enum class CheckdataStatus : std::int32_t { Logged0 = 0, Logged1 = 1, Passed = 2, Failed = 3 };

// The callbacks the engine calls; they return nothing to it.
using SendMsgInfoCallback = void(TARNVEL_ENGINE_CALL*)(MsgInfoRecord record);
using ShowProgressCallback = void(TARNVEL_ENGINE_CALL*)(std::int32_t cell, std::int32_t total,
                                                        std::int32_t done);
using TestStatusCallback = void(TARNVEL_ENGINE_CALL*)(std::int32_t cell, std::int32_t code,
                                                      std::int32_t status);
using MonitorStatusCallback = void(TARNVEL_ENGINE_CALL*)(MonitorStatusRecord record);
using CheckdataStatusCallback = void(TARNVEL_ENGINE_CALL*)(CheckdataStatusRecord record);

// The one record with a gap, on x64 only: the callbacks are 8-byte aligned, so 4 bytes of
// padding follow switch7 at offset 68. The i686 record has none.
struct EngineInitParams {
    const EngineChar* packagePath;
    const EngineChar* extraText;
    const EngineChar* modelName;
    std::int32_t setting1;
    std::int32_t setting2;
    std::int32_t setting3;
    std::int32_t setting4;
    std::int32_t switch1;
    std::int32_t switch2;
    std::int32_t switch3;
    std::int32_t switch4;
    std::int32_t switch5;
    std::int32_t switch6;
    std::int32_t switch7;
    CheckdataStatusCallback onCheckdataStatus;
    MonitorStatusCallback onMonitorStatus;
    SendMsgInfoCallback onSendMsgInfo;
    ShowProgressCallback onShowProgress;
    TestStatusCallback onTestStatus;
};

// The exports, looked up by these names; any of them may be missing.
using InitDownloadObjFn = std::int32_t(TARNVEL_ENGINE_CALL*)(EngineInitParams* params);
using VerifyDataofRZBFn = void(TARNVEL_ENGINE_CALL*)();
using DownloadRunFn = void(TARNVEL_ENGINE_CALL*)(std::int32_t* reserved);
using DownloadStopFn = void(TARNVEL_ENGINE_CALL*)();
using ReleaseDownloadObjFn = void(TARNVEL_ENGINE_CALL*)();

inline constexpr char kInitDownloadObjName[] = "InitDownloadObj";
inline constexpr char kVerifyDataofRZBName[] = "VerifyDataofRZB";
inline constexpr char kDownloadRunName[] = "DownloadRun";
inline constexpr char kDownloadStopName[] = "DownloadStop";
inline constexpr char kReleaseDownloadObjName[] = "ReleaseDownloadObj";

// The engine's texts are UTF-16: the layouts hold only where wchar_t is 16 bits (Windows).
#if defined(_WIN32)
static_assert(sizeof(MsgInfoRecord) == 2568);
static_assert(offsetof(MsgInfoRecord, msgType) == 4);
static_assert(offsetof(MsgInfoRecord, text) == 8);
static_assert(offsetof(MsgInfoRecord, detail) == 520);
static_assert(sizeof(MonitorStatusRecord) == 136);
static_assert(offsetof(MonitorStatusRecord, cell) == 128);
static_assert(offsetof(MonitorStatusRecord, status) == 132);
static_assert(sizeof(CheckdataStatusRecord) == 2056);
static_assert(offsetof(CheckdataStatusRecord, status) == 4);
static_assert(offsetof(CheckdataStatusRecord, text) == 8);
#endif
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(EngineInitParams) == 76);
static_assert(offsetof(EngineInitParams, extraText) == 4);
static_assert(offsetof(EngineInitParams, modelName) == 8);
static_assert(offsetof(EngineInitParams, setting1) == 12);
static_assert(offsetof(EngineInitParams, setting4) == 24);
static_assert(offsetof(EngineInitParams, switch1) == 28);
static_assert(offsetof(EngineInitParams, switch7) == 52);
static_assert(offsetof(EngineInitParams, onCheckdataStatus) == 56);
static_assert(offsetof(EngineInitParams, onMonitorStatus) == 60);
static_assert(offsetof(EngineInitParams, onSendMsgInfo) == 64);
static_assert(offsetof(EngineInitParams, onShowProgress) == 68);
static_assert(offsetof(EngineInitParams, onTestStatus) == 72);
#elif defined(_WIN64)
// Only the tests' stand-in reads the 64-bit layout, built from this same header: it needs no more
// than its size and the gap before the pointers.
static_assert(sizeof(EngineInitParams) == 112);
static_assert(offsetof(EngineInitParams, onCheckdataStatus) == 72);
#endif

} // namespace tarnvel
