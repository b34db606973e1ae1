#include "app/update_check.h"

#include "platform/unique_handle.h"

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
    const UniqueLibrary library(LoadLibraryW(kUpdaterLibrary));
    if (!library)
        return false;

    auto initialize = Lookup<InitializeResourceFn>(library.Get(), "InitializeResource");
    if (!initialize)
        return false;
    initialize();

    // Without a way to clean up, the updater is not asked anything.
    auto destroy = Lookup<DestroyResourceFn>(library.Get(), "DestroyResource");
    if (!destroy)
        return false;

    bool takesOver = false;
    if (auto check = Lookup<CheckToUpdateFn>(library.Get(), "CheckToUpdate"))
        takesOver = check(kUpdaterProduct) != 0;

    destroy();
    return takesOver;
}

} // namespace tarnvel
