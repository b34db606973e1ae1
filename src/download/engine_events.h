// The five callbacks the engine reports through: each logs its event to the cell log and, for
// the events the wizard cares about, moves the controller on and calls the wizard's hooks.
// They reach the controller through its process-wide registration; without a registered
// controller they do nothing.
#pragma once

#include "download/engine_interface.h"

namespace tarnvel {

void TARNVEL_ENGINE_CALL USendMsgInfo(MsgInfoRecord record);
void TARNVEL_ENGINE_CALL UShowProgress(std::int32_t cell, std::int32_t total, std::int32_t done);
void TARNVEL_ENGINE_CALL UTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status);
void TARNVEL_ENGINE_CALL UMonitorStatus(MonitorStatusRecord record);
void TARNVEL_ENGINE_CALL UCheckdataStatus(CheckdataStatusRecord record);

} // namespace tarnvel
