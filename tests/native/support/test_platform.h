// The controller's threads on std::thread, for the native tests, and the fake host's, whose end
// ends them. A forced end cannot stop a std::thread where it stands, so it is delivered at the
// places where the fake engine could be ended (its kill points, a hang), where the thread unwinds
// from there and ends. Ending a thread while it runs one of the wizard's hooks is recorded as a
// fault: the controller's own threads are never ended.
#pragma once

#include "download/controller_platform.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnvel::testing {

// Thrown at the kill point of a thread that was ended by force; caught where the thread began.
struct ForcedEnd {};

class TestPlatform final : public ControllerPlatform {
public:
    TestPlatform() = default;
    ~TestPlatform(); // ends and joins what still runs
    TestPlatform(const TestPlatform&) = delete;
    TestPlatform& operator=(const TestPlatform&) = delete;

    std::unique_ptr<WorkerThread> StartThread(ThreadEntry entry, void* argument) override;
    std::uint64_t TickMs() override;
    void PollPause(bool keepMessagesFlowing) override;
    bool ReadPackageModel(const std::wstring& path, std::wstring& model) override;
    // The tests hand the fake engine to the controller themselves: nothing to load here.
    bool LoadEngine(const std::wstring&, LoadedEngine&) override { return false; }

    // Ends a thread this platform started, as its process's end would: at its next kill point.
    static void EndByForce(WorkerThread& thread);
    // For the fake engine, on any thread: throws ForcedEnd when the calling thread was ended.
    static void KillPoint();
    // A hung engine: waits until the calling thread is ended by force, then unwinds.
    [[noreturn]] static void HangUntilEnded();
    // Around a hook's body on the calling thread.
    static void EnterHook();
    static void LeaveHook();

    // Threads of this platform not yet ended.
    std::size_t Running() const;
    std::size_t Started() const { return started_; }
    std::size_t ForcedEnds() const { return forcedEnds_; }
    std::vector<std::string> Faults() const;
    // Ends by force whatever still runs (each one a fault), then joins every thread.
    void JoinAll();

    struct ThreadState {
        std::mutex mutex; // guards done
        std::condition_variable changed;
        bool done = false;
        std::atomic<bool> endAsked{false};
        std::atomic<int> inHook{0};
    };
    void NoteForcedEnd(ThreadState& state);

private:
    void Fault(std::string text);
    void JoinEnded(); // with mutex_ held
    struct Launched;
    static void Release(Launched& launched); // joins it

    mutable std::mutex mutex_; // guards threads_ and faults_
    struct Launched {
        std::shared_ptr<ThreadState> state;
        std::thread thread;
    };
    std::vector<Launched> threads_;
    std::vector<std::string> faults_;
    std::atomic<std::size_t> started_{0};
    std::atomic<std::size_t> forcedEnds_{0};
};

} // namespace tarnvel::testing
