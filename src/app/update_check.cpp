#include "app/update_check.h"

#include <windows.h>

namespace tarnvel {

namespace {

using InitializeResourceFn = int(__cdecl*)();
using DestroyResourceFn = int(__cdecl*)();
using CheckToUpdateFn = int(__cdecl*)(const wchar_t* product);

template <typename Fn> Fn Lookup(HMODULE library, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

} // namespace

bool RunUpdateCheck() {
    HMODULE library = LoadLibraryW(kUpdaterLibrary);
    if (!library)
        return false;

    auto initialize = Lookup<InitializeResourceFn>(library, "InitializeResource");
    if (!initialize) {
        FreeLibrary(library);
        return false;
    }
    initialize();

    // Without a way to clean up, the updater is not asked anything.
    auto destroy = Lookup<DestroyResourceFn>(library, "DestroyResource");
    if (!destroy) {
        FreeLibrary(library);
        return false;
    }

    bool takesOver = false;
    if (auto check = Lookup<CheckToUpdateFn>(library, "CheckToUpdate"))
        takesOver = check(kUpdaterProduct) != 0;

    destroy();
    FreeLibrary(library);
    return takesOver;
}

} // namespace tarnvel
