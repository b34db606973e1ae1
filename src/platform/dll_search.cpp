#include "platform/dll_search.h"

#include <windows.h>

namespace tarnvel {

// SetDllDirectoryW(L"") takes the working folder out on every Windows; the safe default
// directories (Windows 8, or 7 with KB2533623) also leave out PATH, and they are what Wine honours.
void HardenDllSearchPath() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    SetDllDirectoryW(L"");
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                   LOAD_LIBRARY_SEARCH_USER_DIRS);
}

} // namespace tarnvel
