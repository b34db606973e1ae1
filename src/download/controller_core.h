// The controller's state, shared by the controller object, its worker threads and the engine's
// callbacks. Internal to the download library.
#pragma once

#include "download/download_controller.h"
#include "download/engine_interface.h"
#include "log/cell_log.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnvel::detail {

// A kernel handle that closes itself.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.Release();
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Reset() {
        if (handle_ != nullptr)
            CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr; // owned
};

struct EngineExports {
    InitDownloadObjFn init = nullptr;
    VerifyDataofRZBFn verify = nullptr;
    DownloadRunFn run = nullptr;
    DownloadStopFn stop = nullptr;
    ReleaseDownloadObjFn release = nullptr;
};

// One RunThread. Its callbacks mark themselves inside our code, so that a forced end never
// catches the thread holding one of our locks (the log's, the heap's): a thread about to be
// ended parks at its next callback instead of entering it.
struct RunGate {
    DownloadRunFn run = nullptr;
    UniqueHandle thread; // owned; signalled when DownloadRun has returned
    std::atomic<bool> inCallback{false};
    std::atomic<bool> ending{false};
    std::atomic<bool> returned{false}; // DownloadRun is back: the thread is leaving on its own
};

enum HookSlot : int {
    SlotVerifyPassed = 4,
    SlotVerifyFailed = 5,
    SlotUpgradeStarted = 6,
    SlotProgress = 8,
    SlotUpgradeSucceeded = 9,
    SlotUpgradeFailed = 10,
    SlotUpgradeBegin = 12,
    kHookSlots = 13,
};

inline constexpr std::size_t kPackagePathCapacity = 256; // characters with the terminator

struct ControllerCore : std::enable_shared_from_this<ControllerCore> {
    ControllerCore();
    ~ControllerCore();

    void CallHook(int slot, std::intptr_t value) const;
    void PostCommand(int command);
    void StartVerifyThread();
    void StartRunThread();
    void StartStopThread();
    // Asks the engine to stop, then ends the RunThreads that were running when asked.
    void StopEngine(std::vector<std::shared_ptr<RunGate>> runs, bool keepMessagesFlowing);
    std::vector<std::shared_ptr<RunGate>> TakeRuns();
    void ControlThread();
    void VerifyThread();

    std::array<std::atomic<DownloadHook>, kHookSlots> hooks{};
    std::atomic<int> command{0};
    std::atomic<int> commandPending{0};
    std::atomic<bool> closeAllowed{true};
    std::atomic<bool> controlStop{false};
    std::atomic<bool> shuttingDown{false};
    UniqueHandle shutdownEvent; // owned, manual reset: cuts the pause before CmdFinish short

    std::wstring exeFolder;
    HMODULE engine = nullptr; // owned: freed by Shutdown when no thread is inside it
    EngineExports exports;    // written by LoadEngine before any thread starts
    UniqueHandle controlThread;

    std::mutex pathMutex; // guards packagePath and packageRefused
    std::wstring packagePath;
    bool packageRefused = false; // the last path offered did not fit: verify nothing until a new one does
    bool PackageRefused();

    // One verification at a time; the texts the engine's init record points to, which stay
    // valid (at the same addresses) until the controller is gone.
    std::mutex verifyMutex;
    std::array<wchar_t, kPackagePathCapacity> enginePath{};
    std::array<wchar_t, kPackagePathCapacity> engineModel{};
    const wchar_t engineExtra[1] = {L'\0'};

    std::mutex threadsMutex;                    // guards runs and workers
    std::vector<std::shared_ptr<RunGate>> runs; // RunThreads no stop has taken yet
    std::vector<UniqueHandle> workers;          // VerifyThreads and StopThreads

    std::unique_ptr<CellLog> cellLog; // destroyed by Shutdown once no callback can reach it
};

// The registered controller, for the engine's callbacks. A callback holds a CallbackScope for
// its whole run; Shutdown waits for every scope to end after clearing the registration.
class CallbackScope {
public:
    CallbackScope();
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

    ControllerCore* Core() const { return core_; }

private:
    ControllerCore* core_ = nullptr;
    RunGate* gate_ = nullptr;
};

} // namespace tarnvel::detail
