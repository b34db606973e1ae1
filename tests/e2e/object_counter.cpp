// Counts the GDI and USER objects of the process it is loaded into, for the probe's "counts".
// Wine's GetGuiResources is a stub that answers 0, so the objects are found the long way: every
// handle slot is asked what it holds. Wine takes a handle whose upper 16 bits are zero as the
// slot's current object, whatever its generation, so each slot index is a valid question.
// DllMain does the count and then declines to stay, so nothing of it remains in the process.
#include "object_counts.h"

namespace {

constexpr UINT_PTR kLastSlot = 0xFFFF;

void CountGdi(ObjectCounts& counts) {
    for (UINT_PTR slot = 1; slot <= kLastSlot; ++slot) {
        switch (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) {
        case 0:
            continue;
        case OBJ_DC:
        case OBJ_MEMDC:
        case OBJ_METADC:
        case OBJ_ENHMETADC:
            ++counts.dcs;
            break;
        case OBJ_BITMAP:
            ++counts.bitmaps;
            break;
        case OBJ_BRUSH:
            ++counts.brushes;
            break;
        case OBJ_FONT:
            ++counts.fonts;
            break;
        case OBJ_REGION:
            ++counts.regions;
            break;
        case OBJ_PEN:
        case OBJ_EXTPEN:
            ++counts.pens;
            break;
        default:
            break;
        }
        ++counts.gdiTotal;
    }
}

// USER slots: Wine numbers them from 0x20 in steps of 2.
void CountUser(ObjectCounts& counts) {
    const DWORD self = GetCurrentProcessId();
    for (UINT_PTR slot = 0x20; slot <= kLastSlot; slot += 2) {
        const auto window = reinterpret_cast<HWND>(slot);
        if (IsWindow(window)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == self)
                ++counts.windows;
            continue;
        }
        if (IsMenu(reinterpret_cast<HMENU>(slot))) {
            ++counts.menus;
            continue;
        }
        ICONINFO info{};
        if (GetIconInfo(reinterpret_cast<HICON>(slot), &info)) {
            // The answer hands out copies of the icon's bitmaps: give them back.
            if (info.hbmMask)
                DeleteObject(info.hbmMask);
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
            ++counts.icons;
        }
    }
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    const std::wstring name = CountsMappingName(GetCurrentProcessId());
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name.c_str());
    if (!mapping)
        return FALSE;
    if (auto* shared = static_cast<ObjectCounts*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0))) {
        ObjectCounts counts{};
        CountGdi(counts); // before the icons' questions make bitmaps of their own
        CountUser(counts);
        counts.filled = 1;
        *shared = counts;
        UnmapViewOfFile(shared);
    }
    CloseHandle(mapping);
    return FALSE; // counted: do not stay loaded
}
