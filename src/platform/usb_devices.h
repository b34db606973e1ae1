// What Windows itself sees on USB: notifications of USB devices that arrive or go, and the
// device tree's word on whether a device's driver works.
#pragma once

#include "platform/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvel {

struct DeviceNotificationTraits {
    using Handle = HDEVNOTIFY;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
    static void Close(Handle handle) noexcept { UnregisterDeviceNotification(handle); }
};
using DeviceNotification = UniqueResource<DeviceNotificationTraits>;

// From now on the window gets WM_DEVICECHANGE for every USB device that arrives or is removed;
// empty when Windows refused.
DeviceNotification WatchUsbDevices(HWND window) noexcept;

// A WM_DEVICECHANGE of a USB device that arrived or was removed: its interface's path and which.
struct UsbInterfaceChange {
    bool arrived;
    std::wstring interfacePath;
};
std::optional<UsbInterfaceChange> ReadUsbInterfaceChange(WPARAM wParam, LPARAM lParam);

// The problem code the device tree has for the device instance (0: its driver works); nothing
// when the tree no longer has it, or cannot be asked.
using DeviceProblemFn = std::optional<std::uint32_t> (*)(std::wstring_view instanceId);
std::optional<std::uint32_t> DeviceProblemCode(std::wstring_view instanceId);

} // namespace tarnvel
