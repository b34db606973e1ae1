// The controller's Win32 side: its threads, waits and package reads through the system, and the
// engine in its host. The logic itself is the controller's (download_controller.cpp).
#include "download/system_controller.h"

#include "download/engine_host_process.h"
#include "download/engine_host_session.h"
#include "download/package_header.h"
#include "platform/unique_handle.h"
#include "text/code_page.h"

#include <windows.h>

#include <process.h>

#include <string>

namespace tarnvel {

namespace {

constexpr DWORD kPollMs = 2;

// While the UI thread waits it still handles messages sent to its windows: the events
// that worker threads raise act on those windows, and some window calls send and wait.
void HandleSentMessages() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

bool WaitHandle(HANDLE handle, DWORD timeoutMs, bool keepMessagesFlowing) {
    if (!keepMessagesFlowing)
        return WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (timeoutMs != INFINITE && elapsed >= timeoutMs)
            return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        const DWORD left = timeoutMs == INFINITE ? INFINITE : static_cast<DWORD>(timeoutMs - elapsed);
        const DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result == WAIT_OBJECT_0 + 1)
            HandleSentMessages();
        else if (result == WAIT_FAILED)
            return false;
    }
}

// Owns the thread's handle: closing it lets go of the thread without waiting for it.
class SystemThread final : public WorkerThread {
public:
    explicit SystemThread(HANDLE handle) : handle_(handle) {}

    bool HasEnded() const override { return WaitForSingleObject(handle_.Get(), 0) == WAIT_OBJECT_0; }
    bool Wait(std::uint32_t ms, bool keepMessagesFlowing) override {
        return WaitHandle(handle_.Get(), ms, keepMessagesFlowing);
    }

private:
    const UniqueHandle handle_; // signalled when the thread has ended
};

class SystemPlatform final : public ControllerPlatform {
public:
    std::unique_ptr<WorkerThread> StartThread(ThreadEntry entry, void* argument) override {
        const auto handle = _beginthreadex(nullptr, 0, entry, argument, 0, nullptr);
        if (handle == 0)
            return nullptr;
        return std::make_unique<SystemThread>(reinterpret_cast<HANDLE>(handle));
    }
    std::uint64_t TickMs() override { return GetTickCount64(); }
    void PollPause(bool keepMessagesFlowing) override {
        if (keepMessagesFlowing) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_SENDMESSAGE);
            HandleSentMessages();
        } else {
            ::Sleep(kPollMs);
        }
    }
    bool ReadPackageModel(const std::wstring& path, std::wstring& model) override {
        return tarnvel::ReadPackageModel(path, model);
    }
    bool LoadEngine(const std::wstring& folder, LoadedEngine& engine) override {
        // The engine runs in a host of its own, which can be ended whole whatever the engine holds.
        auto session =
            std::make_shared<EngineHostSession>([path = folder + L"\\" + kEngineHostFileName](
                                                    std::uint32_t& error) -> std::unique_ptr<HostConnection> {
                DWORD startError = 0;
                auto host = EngineHostProcess::Start(path, startError);
                error = startError;
                return host;
            });
        if (!session->Open())
            return false;
        engine = session->Engine();
        return true;
    }
};

// Stateless, and never destroyed: threads a shutdown had to leave behind may still use it.
SystemPlatform g_platform;

} // namespace

SystemController::SystemController()
    : controller_(std::make_shared<DownloadController>(g_platform, std::make_unique<CellLog>())) {
    controller_->SetExeFolder(ExecutableFolder());
    controller_->Register();
}

SystemController::~SystemController() {
    controller_->Shutdown();
}

} // namespace tarnvel
