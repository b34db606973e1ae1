// An engine host inside the test process, for the controller's native tests: it speaks the
// program's channel, runs each export of the fake engine on a thread of the test platform, and
// relays the engine's callbacks back in their order, as the real host does. Ending it ends those
// threads by force and stops the engine's own, as ending the real host's process would.
#pragma once

#include "download/host_connection.h"
#include "download/host_protocol.h"
#include "support/test_platform.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tarnvel::testing {

// A byte stream one way: what a pipe is to the real host.
class ByteStream {
public:
    bool Write(const std::vector<std::uint8_t>& bytes);
    // Blocks until bytes come; 0 once the stream is closed and empty.
    std::size_t Read(std::uint8_t* buffer, std::size_t capacity);
    void Close();

private:
    std::mutex mutex_; // guards bytes_ and closed_
    std::condition_variable changed_;
    std::vector<std::uint8_t> bytes_;
    bool closed_ = false;
};

class FakeHost final : public HostConnection {
public:
    explicit FakeHost(TestPlatform& platform);
    ~FakeHost() override;

    // What the controller's session starts a host with.
    static HostStarter Starter(TestPlatform& platform);
    // Since the last reset: hosts started, and hosts the program ended by force.
    static int Started() { return started_; }
    static int Discarded() { return discarded_; }
    // How the last host that ended did: 0 for the ordinary end, when the program closed its channel.
    static std::uint32_t LastExitCode() { return lastExitCode_; }
    // From now on, each host follows its answer to InitDownloadObj with bytes that do not decode.
    static void CorruptReports(bool corrupt) { corrupt_ = corrupt; }
    static void ResetCounts() {
        started_ = discarded_ = 0;
        lastExitCode_ = 0;
    }

    bool Send(const std::vector<std::uint8_t>& bytes) override { return requests_.Write(bytes); }
    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity) override {
        return reports_.Read(buffer, capacity);
    }
    void CloseRequests() override { requests_.Close(); }
    void Terminate(std::uint32_t exitCode) override;
    bool WaitForExit(std::uint32_t ms) override;
    std::optional<std::uint32_t> ExitCode() override;

    // The engine's callbacks: to the host that runs now.
    void Relay(const host::Report& report);

private:
    void Serve();
    void Carry(const host::Request& request);
    void Call(host::EngineExport which, EngineInitParams* params);
    // The process ends: its threads with it, the engine's own stopped, the report stream closed.
    void End(std::uint32_t exitCode);

    TestPlatform& platform_;
    ByteStream requests_;
    ByteStream reports_;
    std::thread server_;

    std::mutex mutex_; // guards what follows
    std::condition_variable exited_;
    std::optional<std::uint32_t> exitCode_; // set once the end begins
    bool ended_ = false;                    // its threads are gone and its reports closed
    std::vector<std::unique_ptr<WorkerThread>> calls_;
    std::vector<std::unique_ptr<EngineInitParams>> records_; // the engine may keep what it was handed
    std::vector<std::unique_ptr<std::wstring>> texts_;
    std::atomic<int> callsInside_{0};

    static std::atomic<int> started_;
    static std::atomic<int> discarded_;
    static std::atomic<std::uint32_t> lastExitCode_;
    static std::atomic<bool> corrupt_;
};

} // namespace tarnvel::testing
