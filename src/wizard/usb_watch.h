// What Windows sees on USB while the wizard waits for a phone: the device changes it reports,
// settled into one batch, turned into cell log lines, and the devices that came without a working
// driver. Plain C++: the view registers for the notifications and asks for the problem codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvel {

struct UsbDeviceChange {
    bool arrived; // else removed
    std::wstring instanceId;
};

// "\\?\USB#VID_0E8D&PID_2000#5&1a2b#{a5dcbf10-...}" -> "USB\VID_0E8D&PID_2000\5&1a2b": the
// device interface's path names its device instance. Nothing for a path of another shape.
std::optional<std::wstring> InstanceIdFromInterfacePath(std::wstring_view path);

// Instance ids are not case-sensitive: the notifications and the device tree may spell them apart.
bool SameDeviceInstance(std::wstring_view a, std::wstring_view b);

// Of several changes of one device within a burst only the last counts, in the order in which
// the devices first appeared.
std::vector<UsbDeviceChange> SettleDeviceChanges(const std::vector<UsbDeviceChange>& burst);

// The cell log's line for a change; `problem` is the device's problem code (0: it works), or
// nothing when Windows no longer knows the device.
std::wstring UsbDeviceLine(const UsbDeviceChange& change, std::optional<std::uint32_t> problem);

// A device with this problem code has no driver that works: not installed, not configured, or
// one that failed to load or start.
bool IsDriverProblem(std::uint32_t problem);

} // namespace tarnvel
