// Writes a minidump into DumpLog beside the executable when an exception goes unhandled on any
// thread, then ends the process (with exit code 0 unless told otherwise). Shows nothing. The dump
// is written by a thread made for it at the start, so that a stack overflow gets one too. A C++ exception
// that nothing catches ends the same way, instead of in the runtime's abort message.
#pragma once

#include "platform/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnvel {

struct DumpOptions {
    // Before the number in the file's name, so that support can tell one program's dumps from
    // another's in a shared folder.
    std::wstring_view namePrefix;
    // The crash's exception code as the exit code, for a parent that watches the process.
    bool exitWithExceptionCode = false;
    // Called on the dump-writing thread before the dump is written: the last chance to hand over
    // what other threads still hold. It must not wait long, nor need the crashed thread.
    void (*onCrash)() = nullptr;
};

class MiniDumper {
public:
    // The first instance becomes the process's unhandled-exception handler; later ones do not.
    explicit MiniDumper(DumpOptions options = {});
    // Only runs when the process exits normally; a crash after that gets the system's handling.
    virtual ~MiniDumper();

    MiniDumper(const MiniDumper&) = delete;
    MiniDumper& operator=(const MiniDumper&) = delete;

    // True when this instance is the one the unhandled-exception filter reaches.
    bool IsRegistered() const;
    // Makes the registered instance the filter again: a library loaded since (the updater, the
    // engine) may have put its own in its place, and may be gone by the time a crash comes.
    static void ReassertFilter();
    const std::wstring& DumpFolder() const { return dumpFolder_; }

    // The exception code a dump of an uncaught C++ exception records.
    static constexpr DWORD kUncaughtCppException = 0xE0544E54; // "TNT" in a customer code

    // Has the dump written and ends the process; returns only if TerminateProcess itself failed.
    LONG WriteDumpAndExit(EXCEPTION_POINTERS* exceptionInfo);

    // "<folder>\<prefix><low 32 bits of the time, signed>.dmp"
    static std::wstring DumpFileName(const std::wstring& folder, std::int64_t crashTime,
                                     std::wstring_view prefix = {});

protected:
    virtual void MakeDumpFileName();
    virtual void* GetUserStreams() { return nullptr; } // no extra streams

private:
    static LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exceptionInfo);
    [[noreturn]] static void OnTerminate();
    static DWORD WINAPI DumpWriter(void*);
    // The dump of that thread's crash, then the end of the process.
    LONG WriteDumpOf(DWORD threadId, EXCEPTION_POINTERS* exceptionInfo);

    EXCEPTION_POINTERS* exceptionInfo_ = nullptr;
    std::int64_t crashTime_ = 0;
    // Its capacity is reserved up front: a crashed process may have a broken heap.
    std::wstring dumpFilePath_;
    std::wstring dumpFolder_; // empty when the executable's path is unknown: no dump then
    UniqueLibrary dbghelp_;
    void* writeDump_ = nullptr; // MiniDumpWriteDump
    const std::wstring namePrefix_;
    const bool exitWithExceptionCode_;
    void (*const onCrash_)();
};

} // namespace tarnvel
