#include "download/engine_events.h"

#include "download/controller_core.h"
#include "download/event_lines.h"
#include "text/text_format.h"

namespace tarnvel {

using detail::CallbackScope;

namespace {

void Post(detail::ControllerCore& core, std::int32_t cell, int level, const std::wstring& line) {
    // A negative cell becomes a large unsigned one, which the log drops like any cell above 7.
    core.cellLog->PostLine(static_cast<unsigned>(cell), level, line);
}

} // namespace

void TARNVEL_ENGINE_CALL USendMsgInfo(MsgInfoRecord record) {
    CallbackScope scope;
    if (scope.Core() == nullptr)
        return;
    Post(*scope.Core(), record.cell, MsgInfoLevel(record.msgType),
         MsgInfoLine(record.cell, record.msgType, BoundedText(record.text, kMsgInfoTextCapacity),
                     BoundedText(record.detail, kMsgInfoDetailCapacity)));
}

void TARNVEL_ENGINE_CALL UShowProgress(std::int32_t cell, std::int32_t total, std::int32_t done) {
    CallbackScope scope;
    auto* core = scope.Core();
    if (core == nullptr)
        return;
    Post(*core, cell, LevelInfo, ShowProgressLine(cell, total, done));
    if (cell != 0)
        return;
    if (const auto percent = ProgressPercentForHook(total, done)) {
        std::int32_t value = *percent;
        core->CallHook(detail::SlotProgress, reinterpret_cast<std::intptr_t>(&value));
    }
}

void TARNVEL_ENGINE_CALL UTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status) {
    CallbackScope scope;
    auto* core = scope.Core();
    if (core == nullptr)
        return;
    if (status == 1)
        core->CallHook(detail::SlotUpgradeBegin, 0);
    Post(*core, cell, TestStatusLevel(status), TestStatusLine(cell, code, status));
    if (cell != 0)
        return;
    switch (status) {
    case 1:
        core->CallHook(detail::SlotUpgradeStarted, 0);
        break;
    case 2:
        // The pause holds the engine's thread; a shutdown cuts it short and finishes itself.
        if (!core->shutdownSignal.WaitFor(core->timings.finishPauseMs))
            core->PostCommand(CmdFinish);
        break;
    case 3: {
        core->CallHook(detail::SlotUpgradeFailed, 0);
        core->StartStopThread();
        core->cellLog->CloseLog(0);
        core->SetCloseAllowed(true);
        break;
    }
    default:
        break;
    }
}

void TARNVEL_ENGINE_CALL UMonitorStatus(MonitorStatusRecord record) {
    CallbackScope scope;
    auto* core = scope.Core();
    if (core == nullptr)
        return;
    Post(*core, record.cell, LevelInfo,
         MonitorStatusLine(record.cell, record.status, BoundedText(record.text, kMonitorTextCapacity)));
    if (record.cell == 0)
        core->SetCloseAllowed(record.status != 1);
}

void TARNVEL_ENGINE_CALL UCheckdataStatus(CheckdataStatusRecord record) {
    CallbackScope scope;
    auto* core = scope.Core();
    if (core == nullptr)
        return;
    Post(*core, 0, CheckdataStatusLevel(record.status),
         CheckdataStatusLine(record.cell, record.status, BoundedText(record.text, kCheckdataTextCapacity)));
    if (record.cell == 0 && record.status == 2) {
        core->PostCommand(CmdVerifyPassed);
    } else if (record.status == 3) {
        // One log per run: the failed run's file ends with the failure line, and the next
        // verification, which the hook makes possible, opens a file of its own.
        if (record.cell == 0)
            core->cellLog->CloseLog(0);
        core->CallHook(detail::SlotVerifyFailed, 0);
    }
}

} // namespace tarnvel
