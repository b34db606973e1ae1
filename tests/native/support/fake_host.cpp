#include "support/fake_host.h"

#include "download/download_controller.h"
#include "support/fake_engine.h"

#include <chrono>
#include <string>
#include <variant>

namespace tarnvel::testing {

using namespace host;

namespace {

// The engine's callbacks carry no context: they reach the host that runs now. One host at a time:
// a new one starts once the one before has ended whole, as a process that was ended has.
std::atomic<FakeHost*> g_current{nullptr};
std::mutex g_lifeMutex;
std::condition_variable g_lifeChanged;
int g_live = 0; // guarded by g_lifeMutex

void Relay(const Report& report) {
    // A callback of a thread whose host has ended never comes back to the engine.
    TestPlatform::KillPoint();
    if (FakeHost* host = g_current.load())
        host->Relay(report);
}

void RelayMsgInfo(MsgInfoRecord record) {
    Relay(record);
}
void RelayProgress(std::int32_t cell, std::int32_t total, std::int32_t done) {
    Relay(ProgressReport{cell, total, done});
}
void RelayTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status) {
    Relay(TestStatusReport{cell, code, status});
}
void RelayMonitorStatus(MonitorStatusRecord record) {
    Relay(record);
}
void RelayCheckdata(CheckdataStatusRecord record) {
    Relay(record);
}

} // namespace

std::atomic<int> FakeHost::started_{0};
std::atomic<int> FakeHost::discarded_{0};
std::atomic<std::uint32_t> FakeHost::lastExitCode_{0};
std::atomic<bool> FakeHost::corrupt_{false};

bool ByteStream::Write(const std::vector<std::uint8_t>& bytes) {
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return false;
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }
    changed_.notify_all();
    return true;
}

std::size_t ByteStream::Read(std::uint8_t* buffer, std::size_t capacity) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !bytes_.empty() || closed_; });
    const std::size_t count = std::min(capacity, bytes_.size());
    std::copy_n(bytes_.begin(), count, buffer);
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

void ByteStream::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

FakeHost::FakeHost(TestPlatform& platform) : platform_(platform) {
    {
        std::unique_lock lock(g_lifeMutex);
        g_lifeChanged.wait(lock, [] { return g_live == 0; });
        ++g_live;
    }
    ++started_;
    g_current = this;
    server_ = std::thread([this] { Serve(); });
}

FakeHost::~FakeHost() {
    End(kEndedByTheProgram);
    server_.join();
}

HostStarter FakeHost::Starter(TestPlatform& platform) {
    return [&platform](std::uint32_t&) -> std::unique_ptr<HostConnection> {
        return std::make_unique<FakeHost>(platform);
    };
}

void FakeHost::Relay(const Report& report) {
    reports_.Write(Encode(report));
}

void FakeHost::Serve() {
    const std::uint8_t present = (1u << kExportCount) - 1;
    Relay(ReadyReport{0, present});
    FrameReader frames;
    std::uint8_t buffer[4096];
    for (;;) {
        const std::size_t read = requests_.Read(buffer, sizeof(buffer));
        if (read == 0)
            break;
        frames.Append(buffer, read);
        while (const auto frame = frames.Next()) {
            Request request;
            if (Decode(*frame, request) != ChannelFault::None) {
                End(3);
                return;
            }
            Carry(request);
        }
    }
    // The ordinary end: the library goes as a program's would, when no call is inside it.
    if (callsInside_ == 0) {
        bool ended = false;
        {
            std::lock_guard lock(mutex_);
            ended = exitCode_.has_value();
        }
        // (A host ended by the program meanwhile has no library left to let go.)
        if (!ended)
            FakeEngine::Get().Unload();
    }
    End(0);
}

void FakeHost::Carry(const Request& request) {
    if (const auto* init = std::get_if<InitRequest>(&request)) {
        auto params = std::make_unique<EngineInitParams>();
        auto keep = [this](const std::wstring& text) {
            std::lock_guard lock(mutex_);
            texts_.push_back(std::make_unique<std::wstring>(text));
            return texts_.back()->c_str();
        };
        params->packagePath = keep(init->packagePath);
        params->extraText = keep(init->extraText);
        params->modelName = keep(init->modelName);
        params->setting1 = init->settings[0];
        params->switch1 = init->switches[0];
        params->onCheckdataStatus = RelayCheckdata;
        params->onMonitorStatus = RelayMonitorStatus;
        params->onSendMsgInfo = RelayMsgInfo;
        params->onShowProgress = RelayProgress;
        params->onTestStatus = RelayTestStatus;
        EngineInitParams* record = params.get();
        {
            std::lock_guard lock(mutex_);
            records_.push_back(std::move(params));
        }
        Call(EngineExport::Init, record);
        return;
    }
    Call(std::get<CallRequest>(request).which, nullptr);
}

void FakeHost::Call(EngineExport which, EngineInitParams* params) {
    // Started under the lock, so that an end either sees the thread or keeps it from starting.
    std::lock_guard lock(mutex_);
    if (exitCode_)
        return;
    ++callsInside_;
    auto thread = detail::StartThread(platform_, [this, which, params] {
        const EngineExports engine = FakeEngine::Get().Exports();
        std::int32_t result = 0;
        std::int32_t reserved = 0;
        switch (which) {
        case EngineExport::Init:
            result = engine.init(params);
            break;
        case EngineExport::Verify:
            engine.verify();
            break;
        case EngineExport::Run:
            engine.run(&reserved);
            break;
        case EngineExport::Stop:
            engine.stop();
            break;
        case EngineExport::Release:
            engine.release();
            break;
        }
        --callsInside_;
        Relay(ReturnedReport{which, result});
        if (which == EngineExport::Init && corrupt_)
            reports_.Write({0xE7, 0x03, 0, 0, 0, 0}); // a frame of a kind no host sends
    });
    if (thread)
        calls_.push_back(std::move(thread));
    else
        --callsInside_;
}

void FakeHost::Terminate(std::uint32_t exitCode) {
    End(exitCode);
}

void FakeHost::End(std::uint32_t exitCode) {
    std::vector<WorkerThread*> calls;
    {
        std::unique_lock lock(mutex_);
        if (exitCode_) {
            exited_.wait(lock, [this] { return ended_; }); // another thread ends it
            return;
        }
        exitCode_ = exitCode;
        for (const auto& call : calls_)
            calls.push_back(call.get());
    }
    if (exitCode == kEndedByTheProgram)
        ++discarded_;
    lastExitCode_ = exitCode;
    requests_.Close();
    // The process's threads end where they stand; those that are not at a point where the fake
    // engine can be ended run to their end, and nothing they say reaches the program.
    for (WorkerThread* call : calls)
        TestPlatform::EndByForce(*call);
    for (WorkerThread* call : calls)
        call->Wait(kWaitForever, false);
    FakeEngine::Get().Discard();
    FakeHost* self = this;
    g_current.compare_exchange_strong(self, nullptr);
    reports_.Close();
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    exited_.notify_all();
    {
        std::lock_guard lock(g_lifeMutex);
        --g_live;
    }
    g_lifeChanged.notify_all();
}

bool FakeHost::WaitForExit(std::uint32_t ms) {
    std::unique_lock lock(mutex_);
    return exited_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended_; });
}

std::optional<std::uint32_t> FakeHost::ExitCode() {
    std::lock_guard lock(mutex_);
    return ended_ ? exitCode_ : std::nullopt;
}

} // namespace tarnvel::testing
