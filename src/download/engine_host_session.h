// The engine as the controller sees it when it lives in the engine host: each export is a request
// that returns when the host reports the engine's return, or at once when the host is gone. A
// reader thread hands the engine's reports to the callbacks (engine_events.h) in the order the
// engine made them, and reports a host that ended unasked. A host that was thrown away, or that
// ended, is replaced by a fresh one at the next InitDownloadObj.
#pragma once

#include "download/controller_platform.h"
#include "download/host_connection.h"
#include "download/host_protocol.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tarnvel {

// For the benchmark: sees each report on the reader thread as it arrives, before it is handled.
using ReportObserver = void (*)(const host::Report& report);
void ObserveEngineReports(ReportObserver observer);
// For the benchmark: the last host's start, from CreateProcess to its Ready, in milliseconds.
double LastEngineHostStartMs();

class EngineHostSession : public std::enable_shared_from_this<EngineHostSession> {
public:
    explicit EngineHostSession(HostStarter start) : start_(std::move(start)) {}
    ~EngineHostSession();
    EngineHostSession(const EngineHostSession&) = delete;
    EngineHostSession& operator=(const EngineHostSession&) = delete;

    // Starts the host and waits for it to load the engine; false when either fails.
    bool Open();
    // The exports the engine has, and how the controller lets the engine go.
    LoadedEngine Engine();

private:
    struct Link;

    std::shared_ptr<Link> Connect(std::uint32_t& error);
    // The live host, or for InitDownloadObj a fresh one in place of one that is gone.
    std::shared_ptr<Link> Current(bool startIfGone);
    std::int32_t Call(const host::Request& request, host::EngineExport which);
    void ReadReports(const std::shared_ptr<Link>& link);
    void Discard();
    void DiscardAfter(std::uint32_t ms);
    void Unload();

    const HostStarter start_;
    std::uint8_t exports_ = 0;

    std::mutex mutex_; // guards link_, readers_, unloading_, deadline_ and watchdog_
    std::condition_variable unloaded_;
    std::shared_ptr<Link> link_;
    std::vector<std::thread> readers_; // one per host started; each ends with its host
    std::thread watchdog_;
    std::optional<std::chrono::steady_clock::time_point> deadline_; // set by DiscardAfter
    bool unloading_ = false;
};

} // namespace tarnvel
