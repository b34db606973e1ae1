// What the counter DLL finds inside the assistant's process, shared with the probe through a
// named mapping.
#pragma once

#include <windows.h>

#include <string>

struct ObjectCounts {
    LONG filled; // 1 once the counter has written the figures
    LONG gdiTotal;
    LONG dcs;
    LONG bitmaps;
    LONG brushes;
    LONG fonts;
    LONG regions;
    LONG pens;
    LONG windows;
    LONG menus;
    LONG icons;
};

inline std::wstring CountsMappingName(DWORD pid) {
    return L"Local\\TarnvelE2eObjectCounts" + std::to_wstring(pid);
}
