#include "support/test_platform.h"

#include "support/fake_engine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace tarnvel::testing {

namespace {

using namespace std::chrono_literals;

thread_local TestPlatform::ThreadState* t_state = nullptr;

class TestThread final : public WorkerThread {
public:
    TestThread(TestPlatform& platform, std::shared_ptr<TestPlatform::ThreadState> state)
        : platform_(platform), state_(std::move(state)) {}

    bool HasEnded() const override {
        std::lock_guard lock(state_->mutex);
        return state_->done;
    }
    bool Wait(std::uint32_t ms, bool) override {
        std::unique_lock lock(state_->mutex);
        if (ms == kWaitForever) {
            state_->changed.wait(lock, [this] { return state_->done; });
            return true;
        }
        return state_->changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return state_->done; });
    }
    void ForceEnd() { platform_.NoteForcedEnd(*state_); }

private:
    TestPlatform& platform_;
    std::shared_ptr<TestPlatform::ThreadState> state_;
};

[[noreturn]] void WaitToBeEnded(const char* where) {
    TestPlatform::ThreadState* state = t_state;
    if (state == nullptr) {
        std::fprintf(stderr, "%s on a thread the platform did not start\n", where);
        std::abort();
    }
    std::unique_lock lock(state->mutex);
    state->changed.wait(lock, [state] { return state->endAsked.load(); });
    throw ForcedEnd{};
}

} // namespace

TestPlatform::~TestPlatform() {
    JoinAll();
}

std::unique_ptr<WorkerThread> TestPlatform::StartThread(ThreadEntry entry, void* argument) {
    auto state = std::make_shared<ThreadState>();
    std::lock_guard lock(mutex_);
    JoinEnded();
    std::thread thread([state, entry, argument] {
        t_state = state.get();
        try {
            entry(argument);
        } catch (const ForcedEnd&) {
        }
        t_state = nullptr;
        {
            std::lock_guard stateLock(state->mutex);
            state->done = true;
        }
        state->changed.notify_all();
    });
    threads_.push_back({state, std::move(thread)});
    ++started_;
    return std::make_unique<TestThread>(*this, state);
}

std::uint64_t TestPlatform::TickMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

void TestPlatform::PollPause(bool) {
    std::this_thread::sleep_for(200us);
}

void TestPlatform::EndByForce(WorkerThread& thread) {
    static_cast<TestThread&>(thread).ForceEnd(); // every thread of this platform is one
}

bool TestPlatform::ReadPackageModel(const std::wstring& path, std::wstring& model) {
    if (path.empty())
        return false;
    model = L"5512QDS";
    return true;
}

void TestPlatform::KillPoint() {
    if (t_state != nullptr && t_state->endAsked)
        throw ForcedEnd{};
}

void TestPlatform::HangUntilEnded() {
    WaitToBeEnded("HangUntilEnded");
}

void TestPlatform::EnterHook() {
    if (t_state != nullptr)
        ++t_state->inHook;
}

void TestPlatform::LeaveHook() {
    if (t_state != nullptr)
        --t_state->inHook;
}

void TestPlatform::NoteForcedEnd(ThreadState& state) {
    if (state.inHook != 0)
        Fault("a thread was ended by force inside a hook");
    ++forcedEnds_;
    {
        std::lock_guard lock(state.mutex);
        state.endAsked = true;
    }
    state.changed.notify_all();
}

std::size_t TestPlatform::Running() const {
    std::lock_guard lock(mutex_);
    std::size_t running = 0;
    for (const auto& started : threads_) {
        std::lock_guard stateLock(started.state->mutex);
        running += started.state->done ? 0 : 1;
    }
    return running;
}

std::vector<std::string> TestPlatform::Faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void TestPlatform::JoinAll() {
    std::vector<Launched> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(threads_);
    }
    for (auto& started : all) {
        bool done = false;
        {
            std::lock_guard stateLock(started.state->mutex);
            done = started.state->done;
        }
        if (!done) {
            Fault("a thread still ran at the end");
            {
                std::lock_guard stateLock(started.state->mutex);
                started.state->endAsked = true;
            }
            started.state->changed.notify_all();
        }
        Release(started);
    }
}

void TestPlatform::Fault(std::string text) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(text));
}

void TestPlatform::Release(Launched& launched) {
    launched.thread.join();
}

void TestPlatform::JoinEnded() {
    for (auto it = threads_.begin(); it != threads_.end();) {
        bool done = false;
        {
            std::lock_guard stateLock(it->state->mutex);
            done = it->state->done;
        }
        if (done) {
            Release(*it);
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace tarnvel::testing
