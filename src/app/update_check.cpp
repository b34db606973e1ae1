#include "app/update_check.h"

#include "platform/dll_search.h"
#include "platform/unique_handle.h"
#include "text/code_page.h"

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
    // From the program's folder by its full path, with the libraries it needs from there or
    // System32: the program's own search leaves its folder out.
    const std::wstring folder = ExecutableFolder();
    if (folder.empty())
        return false;
    const std::wstring path = folder + L"\\" + kUpdaterLibrary;
    const UniqueLibrary library(LoadLibraryWithItsFolder(path));
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
