// A file that anyone could drop beside the program under the name of a system library: loaded at
// all, it leaves "<its own path>.loaded" beside itself, holding the path of the program that
// loaded it, so that a failure says who took it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t marker[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameW(instance, marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcatW(marker, L".loaded");
    wchar_t program[MAX_PATH] = {};
    const DWORD programLength = GetModuleFileNameW(nullptr, program, MAX_PATH);
    const HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, program, programLength * sizeof(wchar_t), &written, nullptr);
        WriteFile(file, L"\n", sizeof(wchar_t), &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
