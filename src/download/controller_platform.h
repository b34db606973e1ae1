// What the download controller needs from the system: starting, waiting for and ending threads,
// the tick count, the package file and the engine library. The controller's logic is plain C++ on
// top of it; the program's implementation is Win32 (system_controller.cpp).
#pragma once

#include "download/engine_interface.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#if defined(_WIN32)
#define TARNVEL_THREAD_CALL __stdcall
#else
#define TARNVEL_THREAD_CALL
#endif

namespace tarnvel {

struct EngineExports {
    InitDownloadObjFn init = nullptr;
    VerifyDataofRZBFn verify = nullptr;
    DownloadRunFn run = nullptr;
    DownloadStopFn stop = nullptr;
    ReleaseDownloadObjFn release = nullptr;
};

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;

using ThreadEntry = unsigned(TARNVEL_THREAD_CALL*)(void* argument);

// One started thread. Destroying the object lets go of the thread; it does not wait for it.
class WorkerThread {
public:
    virtual ~WorkerThread() = default;

    virtual bool HasEnded() const = 0;
    // True when the thread has ended within `ms` (kWaitForever: no limit). With
    // keepMessagesFlowing the waiting thread goes on handling messages sent to its windows.
    virtual bool Wait(std::uint32_t ms, bool keepMessagesFlowing) = 0;
    // Ends the thread wherever it is (exit code 0).
    virtual void ForceEnd() = 0;
};

// Called from any thread. Not deleted through this interface: the program's lives as long as
// the process, so that a thread left behind by a shutdown never meets a destroyed one.
class ControllerPlatform {
public:
    // Null when the thread could not be started; `argument` is then not used.
    virtual std::unique_ptr<WorkerThread> StartThread(ThreadEntry entry, void* argument) = 0;
    virtual std::uint64_t TickMs() = 0;
    // A short pause between two looks at a condition another thread changes.
    virtual void PollPause(bool keepMessagesFlowing) = 0;
    // Where a thread that is about to be ended by force waits for it, holding nothing.
    [[noreturn]] virtual void ParkForever() = 0;
    // True when the file is a package; `model` then receives its model name.
    virtual bool ReadPackageModel(const std::wstring& path, std::wstring& model) = 0;
    // Loads the engine library at `path`: its exports (any may be missing) and what unloads it.
    // False when it cannot be loaded.
    virtual bool LoadEngine(const std::wstring& path, EngineExports& exports,
                            std::function<void()>& unload) = 0;

protected:
    ~ControllerPlatform() = default;
};

} // namespace tarnvel
