#include "wizard/usb_watch.h"

#include <algorithm>

namespace tarnvel {

std::optional<std::wstring> InstanceIdFromInterfacePath(std::wstring_view path) {
    // The prefix is "\\?\" from the system and "\??\" from some drivers.
    if (path.size() < 4 || (path.substr(0, 4) != L"\\\\?\\" && path.substr(0, 4) != L"\\??\\"))
        return std::nullopt;
    path.remove_prefix(4);
    const std::size_t classGuid = path.rfind(L"#{");
    if (classGuid == std::wstring_view::npos || path.back() != L'}')
        return std::nullopt;
    path = path.substr(0, classGuid);
    // Enumerator, device id and instance: two separators, and none of the three empty.
    const std::size_t first = path.find(L'#');
    const std::size_t second = first == std::wstring_view::npos ? first : path.find(L'#', first + 1);
    if (first == 0 || second == std::wstring_view::npos || second == first + 1 || second + 1 >= path.size() ||
        path.find(L'#', second + 1) != std::wstring_view::npos)
        return std::nullopt;
    std::wstring id(path);
    id[first] = L'\\';
    id[second] = L'\\';
    return id;
}

bool SameDeviceInstance(std::wstring_view a, std::wstring_view b) {
    const auto upper = [](wchar_t c) {
        return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](wchar_t x, wchar_t y) { return upper(x) == upper(y); });
}

std::vector<UsbDeviceChange> SettleDeviceChanges(const std::vector<UsbDeviceChange>& burst) {
    std::vector<UsbDeviceChange> settled;
    for (const UsbDeviceChange& change : burst) {
        const auto same = std::find_if(settled.begin(), settled.end(), [&](const UsbDeviceChange& known) {
            return SameDeviceInstance(known.instanceId, change.instanceId);
        });
        if (same == settled.end())
            settled.push_back(change);
        else
            same->arrived = change.arrived;
    }
    return settled;
}

std::wstring UsbDeviceLine(const UsbDeviceChange& change, std::optional<std::uint32_t> problem) {
    std::wstring line = change.arrived ? L"USB设备接入: " : L"USB设备移除: ";
    line += change.instanceId;
    if (change.arrived)
        line += problem ? L", 问题代码 " + std::to_wstring(*problem) : std::wstring(L", 设备已不在");
    return line;
}

bool IsDriverProblem(std::uint32_t problem) {
    switch (problem) {
    case 1:  // CM_PROB_NOT_CONFIGURED
    case 10: // CM_PROB_FAILED_START
    case 18: // CM_PROB_REINSTALL
    case 28: // CM_PROB_FAILED_INSTALL
    case 31: // CM_PROB_FAILED_ADD
    case 37: // CM_PROB_FAILED_DRIVER_ENTRY
    case 39: // CM_PROB_DRIVER_FAILED_LOAD
    case 52: // CM_PROB_UNSIGNED_DRIVER
        return true;
    default:
        return false;
    }
}

} // namespace tarnvel
