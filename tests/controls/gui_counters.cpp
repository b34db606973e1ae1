#include "gui_counters.h"

#include <windows.h>
#include <winternl.h>

#include <cstdint>

namespace tarnvel::testing {

namespace {

// One entry of the GDI handle table that the process environment block points to (64-bit and
// 32-bit layouts); a non-zero type marks a live object.
struct HandleEntry64 {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t extType;
    std::uint8_t type;
    std::uint8_t generation;
    std::uint64_t user;
};
struct HandleEntry32 {
    std::uint32_t object;
    std::uint32_t owner;
    std::uint16_t extType;
    std::uint8_t type;
    std::uint8_t generation;
    std::uint32_t user;
};

template <typename Entry> int CountEntries(const void* table) {
    const auto* entries = static_cast<const Entry*>(table);
    int count = 0;
    for (int i = 0; i < 65536; ++i) {
        if (i % 1024 == 0) {
            MEMORY_BASIC_INFORMATION info{};
            if (!VirtualQuery(&entries[i], &info, sizeof(info)) || info.State != MEM_COMMIT)
                break;
        }
        if (entries[i].type != 0)
            ++count;
    }
    return count;
}

int CountGdiHandleTable() {
    using QueryFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), 0, &basic, sizeof(basic), nullptr) != 0)
        return -1;
    const auto* peb = reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress);
    const size_t offset = sizeof(void*) == 8 ? 0xF8 : 0x94; // GdiSharedHandleTable
    const void* table = *reinterpret_cast<void* const*>(peb + offset);
    if (!table)
        return -1;
    return sizeof(void*) == 8 ? CountEntries<HandleEntry64>(table) : CountEntries<HandleEntry32>(table);
}

BOOL CALLBACK CountChild(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    EnumChildWindows(hwnd, CountChild, counter);
    return TRUE;
}

} // namespace

int GdiObjectCount() {
    const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    return count ? static_cast<int>(count) : CountGdiHandleTable();
}

int UserObjectCount() {
    const DWORD count = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (count)
        return static_cast<int>(count);
    int windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

} // namespace tarnvel::testing
