#include "wizard/status_view_logic.h"

#include "resources/picture_ids.h"
#include "text/text_format.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

#include <chrono>

namespace tarnvel {

namespace {

// Where the logic's changes go while no view is attached: nowhere.
class NoViewPort final : public StatusViewPort {};

NoViewPort g_noView;

} // namespace

StatusViewLogic::StatusViewLogic() : port_(&g_noView) {}

void StatusViewLogic::Attach(StatusViewPort* port) {
    port_ = port ? port : &g_noView;
}

VerifyTick NextVerifyTick(int percent) {
    const int n = percent + 1;
    if (n <= 10)
        return {n, VerifyTick::Timer::Keep, 0};
    if (n <= 50)
        return {n, VerifyTick::Timer::Restart, 500};
    if (n <= 57)
        return {n, VerifyTick::Timer::Restart, 2000};
    if (n <= 92)
        return {n, VerifyTick::Timer::Restart, 1000};
    if (n <= 97)
        return {n, VerifyTick::Timer::Restart, 10000};
    return {n > 100 ? 100 : n, VerifyTick::Timer::Stop, 0};
}

std::wstring SpinnerText(std::wstring_view base, int frame) {
    static constexpr wchar_t kFrames[] = {L'/', L'-', L'\\', L'|'};
    std::wstring text(base);
    text.push_back(kFrames[static_cast<unsigned>(frame) % 4]);
    return text;
}

namespace {

int Advance(int frame) {
    return frame + 1 > 3 ? 0 : frame + 1;
}

} // namespace

void StatusViewLogic::SetPercentLine(int textId, int barId, int percent) {
    port_->SetText(textId, PercentText(percent));
    port_->SetBar(barId, percent);
}

// Every outcome hides the version line before it shows the help lines, which overlap it.
// A failure is red, with its own picture and the help lines.
void StatusViewLogic::ShowResult(bool succeeded, std::wstring_view heading) {
    EndPhoneWait();
    HideTimeLeft();
    port_->SetPicture(ids::kResultImage, succeeded ? kPictureSuccessFace : kPictureFailureFace);
    port_->SetColour(ids::kResultHeading, succeeded ? colours::kBlack : colours::kRed);
    port_->SetText(ids::kResultHeading, heading);
    port_->Show(ids::kRomVersion, false);
    for (int id = ids::kHelpFirst; id <= ids::kHelpLast; ++id)
        port_->Show(id, !succeeded);
}

void StatusViewLogic::ShowPreparing() {
    EndPhoneWait();
    port_->SetText(ids::kPrepareLine, texts::kPreparing);
    percent_ = 0;
    SetPercentLine(ids::kPreparePercent, ids::kPrepareBar, 0);
    port_->Show(ids::kPatienceHint, true);
    port_->Show(ids::kConnectLink, false);
    port_->Show(ids::kKeepConnectedHint, false);
    port_->StartTimer(timers::kVerifyProgress, timers::kVerifyFirstPeriodMs);
    port_->StartTimer(timers::kPrepareSpinner, timers::kSpinnerPeriodMs);
    port_->SetText(ids::kUpgradeLine, texts::kWaitingForVerify);
    SetPercentLine(ids::kUpgradePercent, ids::kUpgradeBar, 0);
    port_->SetColour(ids::kUpgradeHeading, colours::kRust);
    port_->SetColour(ids::kUpgradeLine, colours::kMuted);
    port_->SetColour(ids::kUpgradePercent, colours::kMuted);
}

void StatusViewLogic::ShowVerifyPassed() {
    port_->StopTimer(timers::kPrepareSpinner);
    port_->StopTimer(timers::kVerifyProgress);
    percent_ = 100;
    SetPercentLine(ids::kPreparePercent, ids::kPrepareBar, 100);
    port_->SetText(ids::kPrepareLine, texts::kDataReady);
    port_->SetColour(ids::kUpgradeHeading, colours::kRust);
    port_->SetColour(ids::kUpgradeLine, colours::kBlack);
    port_->SetColour(ids::kUpgradePercent, colours::kBlack);
    port_->SetText(ids::kUpgradeLine, texts::kConnectPhone);
    port_->Show(ids::kPatienceHint, false);
    port_->Show(ids::kConnectLink, false);
    port_->Show(ids::kKeepConnectedHint, false);
    BeginPhoneWait();
}

void StatusViewLogic::BeginPhoneWait() {
    // A phone that has not come after a while most often lacks a driver, a cable or a direct port.
    port_->StartTimer(timers::kNoPhoneHints, timers::kNoPhoneHintsAfterMs);
    if (!watchingUsb_) {
        watchingUsb_ = true;
        port_->WatchUsbDevices(true);
    }
}

void StatusViewLogic::EndPhoneWait() {
    ShowNoPhoneHints(false);
    if (watchingUsb_) {
        watchingUsb_ = false;
        port_->WatchUsbDevices(false);
    }
    port_->StopTimer(timers::kUsbSettle);
    port_->StopTimer(timers::kDriverHint);
    burst_.clear();
    withoutDriver_.clear();
    ShowDriverHint(false);
}

void StatusViewLogic::OnUsbDeviceChange(bool arrived, std::wstring_view interfacePath) {
    if (!watchingUsb_)
        return;
    std::optional<std::wstring> id = InstanceIdFromInterfacePath(interfacePath);
    if (!id)
        return;
    // A phone switching into its download mode comes, goes and comes again within moments.
    if (burst_.empty())
        port_->StartTimer(timers::kUsbSettle, timers::kUsbSettleMs);
    burst_.push_back({arrived, std::move(*id)});
}

void StatusViewLogic::TakeDeviceBurst() {
    port_->StopTimer(timers::kUsbSettle);
    const std::vector<UsbDeviceChange> settled = SettleDeviceChanges(burst_);
    burst_.clear();
    for (const UsbDeviceChange& change : settled) {
        const std::optional<std::uint32_t> problem =
            change.arrived ? port_->UsbDeviceProblem(change.instanceId) : std::nullopt;
        if (logLine_)
            logLine_(UsbDeviceLine(change, problem));
        std::erase_if(withoutDriver_, [&](const std::wstring& known) {
            return SameDeviceInstance(known, change.instanceId);
        });
        if (change.arrived && problem && IsDriverProblem(*problem)) {
            // The engine may still take the phone once Windows has given up on it: wait a while.
            if (withoutDriver_.empty() && !driverHintShown_)
                port_->StartTimer(timers::kDriverHint, timers::kDriverHintAfterMs);
            withoutDriver_.push_back(change.instanceId);
        }
    }
    if (withoutDriver_.empty()) {
        port_->StopTimer(timers::kDriverHint);
        ShowDriverHint(false);
    }
}

void StatusViewLogic::ShowDriverHint(bool shown) {
    if (shown == driverHintShown_)
        return;
    driverHintShown_ = shown;
    constexpr int kDriverLine = ids::kNoPhoneHintLast;
    port_->SetText(kDriverLine, shown ? texts::kDriverHint : texts::kNoPhoneHints[2]);
    port_->SetColour(kDriverLine, shown ? colours::kRed : colours::kBlack);
}

void StatusViewLogic::ShowNoPhoneHints(bool shown) {
    if (!shown)
        port_->StopTimer(timers::kNoPhoneHints);
    port_->Show(ids::kNoPhoneHeading, shown);
    for (int id = ids::kNoPhoneHintFirst; id <= ids::kNoPhoneHintLast; ++id)
        port_->Show(id, shown);
}

void StatusViewLogic::StopWaitingForPhone() {
    EndPhoneWait();
}

void StatusViewLogic::ShowVerifyFailed() {
    ShowResult(false, texts::kVerifyFailed);
    port_->StopTimer(timers::kVerifyProgress);
    port_->StopTimer(timers::kPrepareSpinner);
}

void StatusViewLogic::ShowUpgrading() {
    EndPhoneWait();
    HideTimeLeft();
    port_->Show(ids::kPatienceHint, false);
    port_->Show(ids::kConnectLink, false);
    port_->Show(ids::kKeepConnectedHint, true);
    port_->SetText(ids::kUpgradeLine, SpinnerText(texts::kUpgrading, 0));
    percent_ = 0;
    SetPercentLine(ids::kUpgradePercent, ids::kUpgradeBar, 0);
    port_->StartTimer(timers::kUpgradeSpinner, timers::kSpinnerPeriodMs);
}

void StatusViewLogic::ShowUpgradeStarted() {
    port_->SetText(ids::kUpgradeLine, texts::kUpgrading);
}

void StatusViewLogic::SetDownloadPercent(int percent) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    SetDownloadPercent(percent, static_cast<std::uint64_t>(
                                    std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
}

void StatusViewLogic::SetDownloadPercent(int percent, std::uint64_t nowMs) {
    percent_ = percent;
    SetPercentLine(ids::kUpgradePercent, ids::kUpgradeBar, percent_);
    timeLeft_.OnProgress(percent, nowMs);
    const std::optional<int> seconds = timeLeft_.SecondsLeft();
    if (seconds)
        port_->SetText(ids::kTimeLeft, TimeLeftText(*seconds));
    if (seconds.has_value() != timeLeftShown_) {
        timeLeftShown_ = seconds.has_value();
        port_->Show(ids::kTimeLeft, timeLeftShown_);
    }
}

void StatusViewLogic::HideTimeLeft() {
    timeLeft_.Reset();
    timeLeftShown_ = false;
    port_->Show(ids::kTimeLeft, false);
}

void StatusViewLogic::ShowUpgradeSucceeded() {
    port_->StopTimer(timers::kUpgradeSpinner);
    ShowResult(true, texts::kSucceeded);
}

void StatusViewLogic::ShowUpgradeFailed() {
    port_->StopTimer(timers::kUpgradeSpinner);
    ShowResult(false, texts::kUpgradeFailed);
}

void StatusViewLogic::ShowPathNotice(std::wstring_view text) {
    pathNoticeShown_ = true;
    port_->SetColour(ids::kVerifyHint, colours::kRed);
    port_->SetText(ids::kVerifyHint, text);
}

void StatusViewLogic::ShowPathTooLong() {
    ShowPathNotice(texts::kPathTooLong);
}

void StatusViewLogic::ShowNoPackage() {
    ShowPathNotice(texts::kNoPackage);
}

void StatusViewLogic::ShowPackageUnreadable() {
    ShowPathNotice(texts::kPackageUnreadable);
}

void StatusViewLogic::ClearPathNotice() {
    if (!pathNoticeShown_)
        return;
    pathNoticeShown_ = false;
    port_->SetColour(ids::kVerifyHint, colours::kBlack);
    port_->SetText(ids::kVerifyHint, texts::kVerifyHint);
}

void StatusViewLogic::ShowRomVersion(std::wstring_view version) {
    std::wstring line = texts::kRomVersionPrefix;
    line += version;
    port_->SetText(ids::kRomVersion, line);
}

void StatusViewLogic::OnTimer(unsigned id) {
    switch (id) {
    case timers::kVerifyProgress: {
        const VerifyTick tick = NextVerifyTick(percent_);
        percent_ = tick.percent;
        if (tick.timer == VerifyTick::Timer::Restart)
            port_->StartTimer(timers::kVerifyProgress, tick.periodMs);
        else if (tick.timer == VerifyTick::Timer::Stop)
            port_->StopTimer(timers::kVerifyProgress);
        SetPercentLine(ids::kPreparePercent, ids::kPrepareBar, percent_);
        break;
    }
    case timers::kPrepareSpinner:
        port_->SetText(ids::kPrepareLine, SpinnerText(texts::kPreparing, prepareFrame_));
        prepareFrame_ = Advance(prepareFrame_);
        break;
    case timers::kUpgradeSpinner:
        port_->SetText(ids::kUpgradeLine, SpinnerText(texts::kUpgrading, upgradeFrame_));
        upgradeFrame_ = Advance(upgradeFrame_);
        break;
    case timers::kNoPhoneHints:
        port_->StopTimer(timers::kNoPhoneHints);
        ShowNoPhoneHints(true);
        break;
    case timers::kUsbSettle:
        TakeDeviceBurst();
        break;
    case timers::kDriverHint:
        port_->StopTimer(timers::kDriverHint);
        ShowDriverHint(watchingUsb_ && !withoutDriver_.empty());
        break;
    default:
        break;
    }
}

} // namespace tarnvel
