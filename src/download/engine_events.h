// The five callbacks the engine reports through: each passes its report to the registered
// controller's core (controller_core.cpp), which logs it and moves the run on. Without a
// registered controller they do nothing.
#pragma once

#include "download/engine_interface.h"

namespace tarnvel {

void TARNVEL_ENGINE_CALL USendMsgInfo(MsgInfoRecord record);
void TARNVEL_ENGINE_CALL UShowProgress(std::int32_t cell, std::int32_t total, std::int32_t done);
void TARNVEL_ENGINE_CALL UTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status);
void TARNVEL_ENGINE_CALL UMonitorStatus(MonitorStatusRecord record);
void TARNVEL_ENGINE_CALL UCheckdataStatus(CheckdataStatusRecord record);

} // namespace tarnvel
