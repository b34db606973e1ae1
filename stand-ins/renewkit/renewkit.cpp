// Stand-in for the maker's updater library. One source, built once per behaviour the program
// must cope with (see CMakeLists.txt). Every call it gets is appended as one UTF-8 line to
// renewkit_calls.txt beside the DLL, so that a test can read what the program asked, with which
// argument and in which order:
//   load | InitializeResource | CheckToUpdate <product> | DestroyResource | unload | process exit
#include <windows.h>

#include <string>
#include <vector>

#ifndef RENEWKIT_CHECK_RESULT
#define RENEWKIT_CHECK_RESULT 0
#endif

namespace {

HMODULE thisModule = nullptr;

std::wstring RecordPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(thisModule, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return L"renewkit_calls.txt";
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            return path.substr(0, path.rfind(L'\\') + 1) + L"renewkit_calls.txt";
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Opened and closed for every line, so that what was written survives a crash or TerminateProcess.
void Record(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    HANDLE file = CreateFileW(RecordPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

[[maybe_unused]] void Crash() {
    // Both volatile: the write is not optimised away, and it is a real access violation.
    volatile int* volatile target = nullptr;
    *target = 1;
}

[[maybe_unused]] DWORD WINAPI CrashingThread(void*) {
    Crash();
    return 0;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        Record(L"load");
    } else if (reason == DLL_PROCESS_DETACH) {
        // reserved is null for FreeLibrary, non-null when the process ends with the DLL loaded.
        Record(reserved ? L"process exit" : L"unload");
    }
    return TRUE;
}

#ifndef RENEWKIT_WITHOUT_INITIALIZE
extern "C" __declspec(dllexport) int __cdecl InitializeResource() {
    Record(L"InitializeResource");
#if defined(RENEWKIT_CRASH_IN_INITIALIZE)
    Crash();
#elif defined(RENEWKIT_CRASH_ON_THREAD)
    // Keeps the caller waiting so that nothing else happens before the crash ends the process.
    if (HANDLE thread = CreateThread(nullptr, 0, &CrashingThread, nullptr, 0, nullptr)) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
#endif
    return 1;
}
#endif

#ifndef RENEWKIT_WITHOUT_CHECK
extern "C" __declspec(dllexport) int __cdecl CheckToUpdate(const wchar_t* product) {
    Record(std::wstring(L"CheckToUpdate ") + (product ? product : L"(null)"));
    return RENEWKIT_CHECK_RESULT;
}
#endif

#ifndef RENEWKIT_WITHOUT_DESTROY
extern "C" __declspec(dllexport) int __cdecl DestroyResource() {
    Record(L"DestroyResource");
    return 1;
}
#endif
