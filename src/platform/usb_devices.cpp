#include "platform/usb_devices.h"

#include "platform/dll_search.h"

#include <cfgmgr32.h>
#include <dbt.h>

#include <cstddef>

namespace tarnvel {

namespace {

// GUID_DEVINTERFACE_USB_DEVICE, spelled out so that no header's INITGUID games are needed.
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// The configuration manager is not one of the DLLs Windows always takes from System32, so it is
// loaded from there alone, once, when first asked.
struct ConfigManager {
    using LocateFn = CONFIGRET(WINAPI*)(PDEVINST, DEVINSTID_W, ULONG);
    using StatusFn = CONFIGRET(WINAPI*)(PULONG, PULONG, DEVINST, ULONG);

    ConfigManager() {
        module = LoadSystemLibrary(L"cfgmgr32.dll");
        if (!module)
            return;
        locate =
            reinterpret_cast<LocateFn>(reinterpret_cast<void*>(GetProcAddress(module, "CM_Locate_DevNodeW")));
        status = reinterpret_cast<StatusFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "CM_Get_DevNode_Status")));
    }
    ~ConfigManager() {
        if (module)
            FreeLibrary(module);
    }
    ConfigManager(const ConfigManager&) = delete;
    ConfigManager& operator=(const ConfigManager&) = delete;

    HMODULE module = nullptr;
    LocateFn locate = nullptr;
    StatusFn status = nullptr;
};

} // namespace

DeviceNotification WatchUsbDevices(HWND window) noexcept {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbDeviceInterface;
    return DeviceNotification(RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

std::optional<UsbInterfaceChange> ReadUsbInterfaceChange(WPARAM wParam, LPARAM lParam) {
    if ((wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) || lParam == 0)
        return std::nullopt;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    constexpr std::size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE || header->dbch_size <= kNameOffset)
        return std::nullopt;
    const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    if (device->dbcc_classguid != kUsbDeviceInterface)
        return std::nullopt;
    // The name ends at its terminator or at the record's end, whichever comes first.
    const std::size_t capacity = (header->dbch_size - kNameOffset) / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < capacity && device->dbcc_name[length] != L'\0')
        ++length;
    return UsbInterfaceChange{wParam == DBT_DEVICEARRIVAL, std::wstring(device->dbcc_name, length)};
}

std::optional<std::uint32_t> DeviceProblemCode(std::wstring_view instanceId) {
    static const ConfigManager manager;
    if (!manager.locate || !manager.status || instanceId.empty() || instanceId.size() > MAX_DEVICE_ID_LEN)
        return std::nullopt;
    std::wstring id(instanceId);
    DEVINST node = 0;
    if (manager.locate(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
        return std::nullopt;
    ULONG status = 0;
    ULONG problem = 0;
    if (manager.status(&status, &problem, node, 0) != CR_SUCCESS)
        return std::nullopt;
    return (status & DN_HAS_PROBLEM) ? problem : 0;
}

} // namespace tarnvel
