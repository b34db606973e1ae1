#include "download/engine_host_session.h"

#include "download/engine_events.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <system_error>
#include <type_traits>
#include <variant>

namespace tarnvel {

using namespace host;

namespace {

// The host's own exit code for bytes that do not decode; the program ends a host whose bytes do
// not with the same, so the log tells both alike.
constexpr std::uint32_t kChannelFaultExit = 3;
// The exit code a host that would not end gets in the log (the system's WAIT_TIMEOUT).
constexpr std::uint32_t kNeverEnded = 258;
// How long a started host gets to load the engine and say so.
constexpr auto kReadyTimeout = std::chrono::seconds(10);
// How long a host that closed its end gets to be gone before it is ended.
constexpr std::uint32_t kExitGraceMs = 2000;

std::atomic<ReportObserver> g_observer{nullptr};
std::atomic<double> g_lastStartMs{0};

std::size_t IndexOf(EngineExport which) {
    return static_cast<std::size_t>(which);
}

std::wstring Text(const wchar_t* text) {
    return text != nullptr ? std::wstring(text) : std::wstring();
}

} // namespace

void ObserveEngineReports(ReportObserver observer) {
    g_observer = observer;
}

double LastEngineHostStartMs() {
    return g_lastStartMs;
}

struct EngineHostSession::Link {
    std::unique_ptr<HostConnection> process;

    std::mutex sendMutex; // one request at a time on the pipe, in the order of the tickets
    std::array<std::uint64_t, kExportCount> sent{};

    std::mutex mutex; // guards what follows
    std::condition_variable changed;
    bool ready = false;
    ReadyReport readyReport;
    bool gone = false;
    bool endedByUs = false; // thrown away or closed: its end is no news
    std::array<std::uint64_t, kExportCount> returned{};
    std::array<std::int32_t, kExportCount> results{};
};

EngineHostSession::~EngineHostSession() {
    {
        std::lock_guard lock(mutex_);
        unloading_ = true;
    }
    unloaded_.notify_all();
    if (watchdog_.joinable())
        watchdog_.join();
    Discard();
    for (auto& reader : readers_)
        reader.join();
}

bool EngineHostSession::Open() {
    std::uint32_t error = 0;
    auto link = Connect(error);
    if (!link)
        return false;
    exports_ = link->readyReport.exports;
    std::lock_guard lock(mutex_);
    link_ = std::move(link);
    return true;
}

std::shared_ptr<EngineHostSession::Link> EngineHostSession::Connect(std::uint32_t& error) {
    const auto start = std::chrono::steady_clock::now();
    auto process = start_(error);
    if (!process)
        return nullptr;
    auto link = std::make_shared<Link>();
    link->process = std::move(process);
    try {
        std::lock_guard lock(mutex_);
        readers_.emplace_back([this, link] { ReadReports(link); });
    } catch (const std::system_error&) {
        // No thread to hear the host: a host nobody hears is no host.
        link->process->Terminate();
        error = kNeverEnded;
        return nullptr;
    }
    std::unique_lock lock(link->mutex);
    link->changed.wait_for(lock, kReadyTimeout, [&] { return link->ready || link->gone; });
    if (link->ready && link->readyReport.loadError == 0) {
        g_lastStartMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return link;
    }
    error = link->ready ? link->readyReport.loadError : kNeverEnded;
    link->endedByUs = true;
    lock.unlock();
    link->process->Terminate();
    return nullptr;
}

std::shared_ptr<EngineHostSession::Link> EngineHostSession::Current(bool startIfGone) {
    std::shared_ptr<Link> link;
    {
        std::lock_guard lock(mutex_);
        if (unloading_)
            return nullptr;
        link = link_;
    }
    if (link) {
        std::lock_guard lock(link->mutex);
        if (!link->gone)
            return link;
    }
    if (!startIfGone)
        return nullptr;
    // The engine of the host before was thrown away whole: this verification gets a fresh one.
    std::uint32_t error = 0;
    auto fresh = Connect(error);
    if (!fresh) {
        EngineGone(error);
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    link_ = fresh;
    return fresh;
}

std::int32_t EngineHostSession::Call(const Request& request, EngineExport which) {
    const bool init = which == EngineExport::Init;
    const std::size_t index = IndexOf(which);
    for (int attempt = 0;; ++attempt) {
        const auto link = Current(init);
        if (!link)
            return 0;
        std::uint64_t ticket = 0;
        {
            std::lock_guard lock(link->sendMutex);
            ticket = ++link->sent[index];
            // A failed send means the host is going: its reader sees the end and wakes the wait.
            link->process->Send(Encode(request));
        }
        std::unique_lock lock(link->mutex);
        link->changed.wait(lock, [&] { return link->gone || link->returned[index] >= ticket; });
        if (link->returned[index] >= ticket)
            return link->results[index];
        // A verification asked for while the last run's engine was being thrown away reached that
        // engine, which may have blocked it on the lock it kept: a fresh engine takes it instead.
        if (!init || attempt > 0 || !link->endedByUs)
            return 0;
    }
}

void EngineHostSession::ReadReports(const std::shared_ptr<Link>& link) {
    FrameReader frames;
    std::vector<std::uint8_t> buffer(64 * 1024);
    ChannelFault fault = ChannelFault::None;
    for (;;) {
        const std::size_t read = link->process->Receive(buffer.data(), buffer.size());
        if (read == 0) {
            frames.EndOfStream();
            fault = frames.Fault();
            break;
        }
        frames.Append(buffer.data(), read);
        while (fault == ChannelFault::None) {
            const auto frame = frames.Next();
            if (!frame)
                break;
            Report report;
            fault = Decode(*frame, report);
            if (fault != ChannelFault::None)
                break;
            if (const ReportObserver observer = g_observer.load())
                observer(report);
            std::visit(
                [&link](const auto& body) {
                    using Body = std::decay_t<decltype(body)>;
                    if constexpr (std::is_same_v<Body, ReadyReport>) {
                        std::lock_guard lock(link->mutex);
                        link->ready = true;
                        link->readyReport = body;
                        link->changed.notify_all();
                    } else if constexpr (std::is_same_v<Body, ReturnedReport>) {
                        std::lock_guard lock(link->mutex);
                        ++link->returned[IndexOf(body.which)];
                        link->results[IndexOf(body.which)] = body.result;
                        link->changed.notify_all();
                    } else if constexpr (std::is_same_v<Body, MsgInfoRecord>) {
                        USendMsgInfo(body);
                    } else if constexpr (std::is_same_v<Body, ProgressReport>) {
                        UShowProgress(body.cell, body.total, body.done);
                    } else if constexpr (std::is_same_v<Body, TestStatusReport>) {
                        UTestStatus(body.cell, body.code, body.status);
                    } else if constexpr (std::is_same_v<Body, MonitorStatusRecord>) {
                        UMonitorStatus(body);
                    } else {
                        UCheckdataStatus(body);
                    }
                },
                report);
        }
        if (fault == ChannelFault::None)
            fault = frames.Fault();
        if (fault != ChannelFault::None)
            break;
    }
    // Bytes that do not decode end that host; the log tells it by the host's own code for it.
    if (fault != ChannelFault::None)
        link->process->Terminate(kChannelFaultExit);
    if (!link->process->WaitForExit(kExitGraceMs)) {
        link->process->Terminate();
        link->process->WaitForExit(kExitGraceMs);
    }
    const std::uint32_t exitCode = link->process->ExitCode().value_or(kNeverEnded);
    bool unasked = false;
    {
        std::lock_guard lock(link->mutex);
        unasked = !link->endedByUs && link->ready;
        link->gone = true;
        link->endedByUs = true;
    }
    link->changed.notify_all();
    // Every report the host sent before it ended has been handled: its lines are in the log first.
    if (unasked)
        EngineGone(exitCode);
}

void EngineHostSession::Discard() {
    std::shared_ptr<Link> link;
    {
        std::lock_guard lock(mutex_);
        link = link_;
    }
    if (!link)
        return;
    {
        std::lock_guard lock(link->mutex);
        if (link->gone)
            return;
        link->gone = true;
        link->endedByUs = true;
    }
    link->changed.notify_all();
    link->process->Terminate();
}

void EngineHostSession::DiscardAfter(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    if (watchdog_.joinable() || unloading_)
        return;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    try {
        watchdog_ = std::thread([this, ms] {
            std::unique_lock lock(mutex_);
            if (unloaded_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return unloading_; }))
                return;
            lock.unlock();
            Discard();
        });
    } catch (const std::system_error&) {
        // No watchdog: the close waits for the engine as long as its own waits allow.
        deadline_.reset();
    }
}

void EngineHostSession::Unload() {
    std::shared_ptr<Link> link;
    {
        std::lock_guard lock(mutex_);
        link = link_;
    }
    if (link) {
        {
            std::lock_guard lock(link->mutex);
            link->endedByUs = true;
        }
        std::uint32_t waitMs = kExitGraceMs;
        {
            std::lock_guard lock(mutex_);
            if (deadline_) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    *deadline_ - std::chrono::steady_clock::now());
                waitMs = static_cast<std::uint32_t>(std::max<long long>(0, left.count()));
            }
        }
        // The host lets the engine go and ends; one whose engine hangs in its unload is ended.
        link->process->CloseRequests();
        if (!link->process->WaitForExit(waitMs))
            link->process->Terminate();
    }
    {
        std::lock_guard lock(mutex_);
        unloading_ = true;
    }
    unloaded_.notify_all();
    if (watchdog_.joinable())
        watchdog_.join();
    for (auto& reader : readers_)
        reader.join();
    readers_.clear();
}

LoadedEngine EngineHostSession::Engine() {
    const auto self = shared_from_this();
    const auto has = [this](EngineExport which) {
        return (exports_ & (1u << IndexOf(which))) != 0;
    };
    const auto call = [self](EngineExport which) {
        return [self, which] {
            self->Call(CallRequest{which}, which);
        };
    };
    LoadedEngine engine;
    if (has(EngineExport::Init)) {
        engine.exports.init = [self](EngineInitParams* params) {
            InitRequest init;
            init.packagePath = Text(params->packagePath);
            init.extraText = Text(params->extraText);
            init.modelName = Text(params->modelName);
            init.settings = {params->setting1, params->setting2, params->setting3, params->setting4};
            init.switches = {params->switch1, params->switch2, params->switch3, params->switch4,
                             params->switch5, params->switch6, params->switch7};
            return self->Call(init, EngineExport::Init);
        };
    }
    if (has(EngineExport::Verify))
        engine.exports.verify = call(EngineExport::Verify);
    if (has(EngineExport::Run))
        engine.exports.run = [run = call(EngineExport::Run)](std::int32_t*) {
            run();
        };
    if (has(EngineExport::Stop))
        engine.exports.stop = call(EngineExport::Stop);
    if (has(EngineExport::Release))
        engine.exports.release = call(EngineExport::Release);
    engine.unload = [self] {
        self->Unload();
    };
    engine.discard = [self] {
        self->Discard();
    };
    engine.discardAfter = [self](std::uint32_t ms) {
        self->DiscardAfter(ms);
    };
    return engine;
}

} // namespace tarnvel
