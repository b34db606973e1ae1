// What the engine's callbacks write to the cell log and the arithmetic they do before they
// tell the wizard. Plain code, no Win32.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvel {

std::wstring MsgInfoLine(int cell, int msgType, std::wstring_view text, std::wstring_view detail);
std::wstring ShowProgressLine(int cell, int total, int done);
std::wstring TestStatusLine(int cell, int code, int status);
std::wstring MonitorStatusLine(int cell, int status, std::wstring_view text);
std::wstring CheckdataStatusLine(int cell, int status, std::wstring_view text);
// The engine's process ended without being asked to: "下载引擎意外退出 (0x%08X)" with its exit code.
std::wstring EngineGoneLine(std::uint32_t exitCode);

// Log levels (LogLevel values) of the events.
int MsgInfoLevel(int msgType);
int TestStatusLevel(int status);
int CheckdataStatusLevel(int status);

// The percent that goes to OnProgress, or nothing when the wizard is not to be told: 0 for a
// total of 0, else done * 100 / total truncated toward zero (in 64 bits, so no value of done
// overflows) when it lies in 0..98.
std::optional<int> ProgressPercentForHook(int total, int done);

// The engine knows the model "5512QDS" as "5512Q"; every other name goes unchanged.
std::wstring_view ModelForEngine(std::wstring_view model);

} // namespace tarnvel
