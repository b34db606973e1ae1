// What the download controller needs from the system: starting and waiting for threads, the tick
// count, the package file and the engine. The controller's logic is plain C++ on
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

// The engine's exports as the controller calls them: in the engine host, each returns when the
// engine's did, or at once when the host is gone. Any may be missing.
struct EngineExports {
    std::function<std::int32_t(EngineInitParams*)> init;
    std::function<void()> verify;
    std::function<void(std::int32_t*)> run;
    std::function<void()> stop;
    std::function<void()> release;
};

// A loaded engine and how the controller lets it go.
struct LoadedEngine {
    EngineExports exports;
    // Lets go of the engine once nothing is inside it.
    std::function<void()> unload;
    // Throws the engine away whole, whatever its threads hold: every call under way returns, and
    // the next InitDownloadObj gets a fresh engine. No thread is ever ended by force instead: one
    // ended inside a library leaves that library's locks taken.
    std::function<void()> discard;
    // The controller shuts down: what the engine has not finished within `ms` is thrown away.
    std::function<void(std::uint32_t ms)> discardAfter;
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
    // True when the file is a package; `model` then receives its model name.
    virtual bool ReadPackageModel(const std::wstring& path, std::wstring& model) = 0;
    // Loads the engine of the program in `folder`; false when it cannot be loaded.
    virtual bool LoadEngine(const std::wstring& folder, LoadedEngine& engine) = 0;

protected:
    ~ControllerPlatform() = default;
};

} // namespace tarnvel
