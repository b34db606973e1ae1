#include "platform/dll_search.h"

#include <delayimp.h>

namespace tarnvel {

namespace {

// The libraries imported through delay-load libraries (gdiplus, oleacc) are not among those Windows
// always takes from System32: the loader would look in the program's folder first, where anyone
// may have put a file of that name. They come from System32 alone.
FARPROC WINAPI LoadFromSystem32(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr)
        return nullptr;
    std::wstring name;
    for (const char* c = info->szDll; *c != '\0'; ++c)
        name.push_back(static_cast<unsigned char>(*c)); // import names are ASCII
    return reinterpret_cast<FARPROC>(LoadSystemLibrary(name.c_str()));
}

// The search flags came with Windows 8 (and with KB2533623 to Windows 7); without them the
// library is named by its full path, and its own libraries are looked for in its folder first.
bool SearchFlagsRefused() {
    return GetLastError() == ERROR_INVALID_PARAMETER;
}

} // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (const HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    if (!SearchFlagsRefused())
        return nullptr;
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadLibraryWithItsFolder(const std::wstring& path) {
    if (const HMODULE module = LoadLibraryExW(
            path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    return SearchFlagsRefused() ? LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                                : nullptr;
}

// SetDllDirectoryW(L"") takes the working folder out on every Windows; the safe default
// directories (Windows 8, or 7 with KB2533623) also leave out PATH, and they are what Wine honours.
void HardenDllSearchPath(DllSearch search) {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    __pfnDliNotifyHook2 = &LoadFromSystem32;
    SetDllDirectoryW(L"");
    if (setDefault)
        setDefault((search == DllSearch::AlsoProgramFolder ? LOAD_LIBRARY_SEARCH_APPLICATION_DIR : 0) |
                   LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
}

} // namespace tarnvel
