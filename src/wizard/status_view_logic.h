// What the status view shows in each state of a run, the paced verification percentage and the
// two text spinners. Plain C++: the view's window carries the changes out on its controls.
#pragma once

#include "wizard/time_left.h"

#include "wizard/usb_watch.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvel {

// The operations the logic needs from the view's controls and timers, by control or timer id.
// Each does nothing unless a port overrides it.
class StatusViewPort {
public:
    virtual void SetText(int /*id*/, std::wstring_view /*text*/) {}
    virtual void SetColour(int /*id*/, std::uint32_t /*colour*/) {} // 0x00BBGGRR
    virtual void Show(int /*id*/, bool /*visible*/) {}
    virtual void SetBar(int /*id*/, int /*percent*/) {}
    virtual void SetPicture(int /*id*/, int /*picture*/) {} // an image control, an embedded PNG's id
    // Starting a running timer starts it again with the new period.
    virtual void StartTimer(unsigned /*id*/, unsigned /*periodMs*/) {}
    virtual void StopTimer(unsigned /*id*/) {}
    // While on: Windows' USB device arrivals and removals reach OnUsbDeviceChange.
    virtual void WatchUsbDevices(bool /*on*/) {}
    // What Windows knows of a device: its problem code (0: it works), nothing when it is gone.
    virtual std::optional<std::uint32_t> UsbDeviceProblem(std::wstring_view /*instanceId*/) {
        return std::nullopt;
    }

protected:
    ~StatusViewPort() = default;
};

// One tick of the verification percentage: the new value and what happens to the timer.
struct VerifyTick {
    enum class Timer { Keep, Restart, Stop };
    int percent;
    Timer timer;
    unsigned periodMs; // for Restart
};

// The percentage is a paced estimate, not a measurement: it slows down towards the end and halts
// at 98 until the engine reports the verification's outcome.
VerifyTick NextVerifyTick(int percent);

// "正在准备数据.../" and so on: the base text followed by the frame's character.
std::wstring SpinnerText(std::wstring_view base, int frame);

// What the status view shows in each state of a run, told by the wizard's flow. It outlives the
// view's window: while no view is attached, nothing is shown.
class StatusViewLogic {
public:
    StatusViewLogic();
    explicit StatusViewLogic(StatusViewPort& port) : port_(&port) {}

    // The view's window, from its creation to its destruction (null).
    void Attach(StatusViewPort* port);

    void ShowPreparing();
    // Also starts the wait for the phone: the hints for a phone that is not found after a while,
    // and the watch on what Windows sees on USB.
    void ShowVerifyPassed();
    // The user left the wait for the phone (Back): no hints.
    void StopWaitingForPhone();
    void ShowVerifyFailed();
    void ShowUpgrading();
    void ShowUpgradeStarted();
    void SetDownloadPercent(int percent);
    // The same with the time of the report, for the time left.
    void SetDownloadPercent(int percent, std::uint64_t nowMs);
    void ShowUpgradeSucceeded();
    void ShowUpgradeFailed();
    // Page 0: the chosen path cannot be handed to the engine; and the hint back in its place.
    void ShowPathTooLong();
    void ShowNoPackage();
    void ShowPackageUnreadable();
    void ClearPathNotice();

    // A package was chosen: the version line of the result page.
    void ShowRomVersion(std::wstring_view version);

    // Where the lines on USB devices go (cell 0's log); none by default.
    void SetLogLine(std::function<void(const std::wstring&)> logLine) { logLine_ = std::move(logLine); }
    // A device interface that Windows reported arriving or removed; taken only while the wizard
    // waits for a phone, in bursts that settle first.
    void OnUsbDeviceChange(bool arrived, std::wstring_view interfacePath);

    // Timer ids other than the view's own are ignored.
    void OnTimer(unsigned id);

    int Percent() const { return percent_; }

private:
    void ShowResult(bool succeeded, std::wstring_view heading);
    void ShowNoPhoneHints(bool shown);
    void BeginPhoneWait();
    // The wait for the phone is over, however it ended: no hints, no watch on USB.
    void EndPhoneWait();
    void TakeDeviceBurst();
    void ShowDriverHint(bool shown);
    void SetPercentLine(int textId, int barId, int percent);
    void ShowPathNotice(std::wstring_view text);
    void HideTimeLeft();

    StatusViewPort* port_;
    int percent_ = 0;
    // The spinners are never reset: a spinner that starts again goes on from its next frame.
    int prepareFrame_ = 0;
    int upgradeFrame_ = 0;
    bool pathNoticeShown_ = false;
    TimeLeftEstimate timeLeft_;
    bool timeLeftShown_ = false;

    std::function<void(const std::wstring&)> logLine_;
    bool watchingUsb_ = false;
    std::vector<UsbDeviceChange> burst_; // not settled yet
    // Devices that came without a working driver and are still there.
    std::vector<std::wstring> withoutDriver_;
    bool driverHintShown_ = false;
};

} // namespace tarnvel
