#include "app/mini_dumper.h"

#include "text/code_page.h"
#include "text/text_format.h"

#include <dbghelp.h>

#include <atomic>
#include <ctime>

namespace tarnvel {

namespace {

std::atomic<MiniDumper*> registeredDumper{nullptr};

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

} // namespace

MiniDumper::MiniDumper() {
    MiniDumper* expected = nullptr;
    if (registeredDumper.compare_exchange_strong(expected, this))
        SetUnhandledExceptionFilter(&MiniDumper::OnUnhandledException);

    const std::wstring exePath = ExecutablePath();
    if (!exePath.empty()) {
        dumpFolder_ = FolderOfPath(exePath) + L"\\DumpLog";
        CreateDirectoryW(dumpFolder_.c_str(), nullptr); // an existing folder is fine
    }
}

bool MiniDumper::IsRegistered() const { return registeredDumper.load() == this; }

std::wstring MiniDumper::DumpFileName(const std::wstring& folder, std::int64_t crashTime) {
    return folder + L"\\" + Decimal(static_cast<std::int32_t>(static_cast<std::uint32_t>(crashTime))) + L".dmp";
}

void MiniDumper::MakeDumpFileName() { dumpFilePath_ = DumpFileName(dumpFolder_, crashTime_); }

LONG WINAPI MiniDumper::OnUnhandledException(EXCEPTION_POINTERS* exceptionInfo) {
    MiniDumper* dumper = registeredDumper.load();
    return dumper ? dumper->WriteDumpAndExit(exceptionInfo) : EXCEPTION_CONTINUE_SEARCH;
}

LONG MiniDumper::WriteDumpAndExit(EXCEPTION_POINTERS* exceptionInfo) {
    crashTime_ = static_cast<std::int64_t>(std::time(nullptr));
    exceptionInfo_ = exceptionInfo;
    LONG result = 0;

    HMODULE dbghelp = LoadLibraryW(L"DBGHELP.DLL");
    if (dbghelp) {
        auto writeDump = reinterpret_cast<MiniDumpWriteDumpFn>(
            reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
        if (writeDump) {
            MakeDumpFileName();
            HANDLE file = CreateFileW(dumpFilePath_.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                MINIDUMP_EXCEPTION_INFORMATION info{GetCurrentThreadId(), exceptionInfo_, FALSE};
                auto* userStreams = static_cast<PMINIDUMP_USER_STREAM_INFORMATION>(GetUserStreams());
                if (writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, &info,
                              userStreams, nullptr))
                    result = 1;
                CloseHandle(file);
            }
        }
        FreeLibrary(dbghelp);
    }
    TerminateProcess(GetCurrentProcess(), 0);
    return result;
}

} // namespace tarnvel
