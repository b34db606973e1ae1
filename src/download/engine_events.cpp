#include "download/engine_events.h"

#include "download/download_controller.h"

namespace tarnvel {

using detail::CallbackScope;

void TARNVEL_ENGINE_CALL USendMsgInfo(MsgInfoRecord record) noexcept {
    CallbackScope scope;
    if (auto* core = scope.Core())
        core->OnSendMsgInfo(record);
}

void TARNVEL_ENGINE_CALL UShowProgress(std::int32_t cell, std::int32_t total, std::int32_t done) noexcept {
    CallbackScope scope;
    if (auto* core = scope.Core())
        core->OnProgress(cell, total, done);
}

void TARNVEL_ENGINE_CALL UTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status) noexcept {
    CallbackScope scope;
    if (auto* core = scope.Core())
        core->OnTestStatus(cell, code, status);
}

void TARNVEL_ENGINE_CALL UMonitorStatus(MonitorStatusRecord record) noexcept {
    CallbackScope scope;
    if (auto* core = scope.Core())
        core->OnMonitorStatus(record);
}

void TARNVEL_ENGINE_CALL UCheckdataStatus(CheckdataStatusRecord record) noexcept {
    CallbackScope scope;
    if (auto* core = scope.Core())
        core->OnCheckdata(record);
}

void EngineGone(std::uint32_t exitCode) noexcept {
    CallbackScope scope;
    if (auto* core = scope.Core())
        core->OnEngineGone(exitCode);
}

} // namespace tarnvel
