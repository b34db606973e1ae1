// The five callbacks the engine reports through: each passes its report to the registered
// controller (download_controller.cpp), which logs it and moves the run on. Without a
// registered controller they do nothing. None lets an exception unwind into the engine's frames:
// one that escapes ends the program through the crash handler instead.
#pragma once

#include "download/engine_interface.h"

namespace tarnvel {

void TARNVEL_ENGINE_CALL USendMsgInfo(MsgInfoRecord record) noexcept;
void TARNVEL_ENGINE_CALL UShowProgress(std::int32_t cell, std::int32_t total, std::int32_t done) noexcept;
void TARNVEL_ENGINE_CALL UTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status) noexcept;
void TARNVEL_ENGINE_CALL UMonitorStatus(MonitorStatusRecord record) noexcept;
void TARNVEL_ENGINE_CALL UCheckdataStatus(CheckdataStatusRecord record) noexcept;
// Not the engine's: the engine host reports that the engine's process ended unasked.
void EngineGone(std::uint32_t exitCode) noexcept;

} // namespace tarnvel
