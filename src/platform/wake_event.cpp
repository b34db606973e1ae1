#include "platform/wake_event.h"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#endif

namespace tarnvel {

#if defined(_WIN32)

struct WakeEvent::State {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    bool set = false; // guarded by lock
};

void WakeEvent::Set() {
    AcquireSRWLockExclusive(&state_->lock);
    const bool wasSet = std::exchange(state_->set, true);
    ReleaseSRWLockExclusive(&state_->lock);
    if (!wasSet)
        WakeConditionVariable(&state_->changed);
}

void WakeEvent::Wait() {
    AcquireSRWLockExclusive(&state_->lock);
    while (!state_->set)
        SleepConditionVariableSRW(&state_->changed, &state_->lock, INFINITE, 0);
    state_->set = false;
    ReleaseSRWLockExclusive(&state_->lock);
}

void WakeEvent::WaitFor(unsigned ms) {
    AcquireSRWLockExclusive(&state_->lock);
    if (!state_->set)
        SleepConditionVariableSRW(&state_->changed, &state_->lock, ms, 0);
    state_->set = false;
    ReleaseSRWLockExclusive(&state_->lock);
}

struct SlimLock::State {
    SRWLOCK lock = SRWLOCK_INIT;
};

void SlimLock::lock() {
    AcquireSRWLockExclusive(&state_->lock);
}

void SlimLock::unlock() {
    ReleaseSRWLockExclusive(&state_->lock);
}

#else

struct WakeEvent::State {
    std::mutex lock;
    std::condition_variable changed;
    bool set = false; // guarded by lock
};

void WakeEvent::Set() {
    bool wasSet = false;
    {
        std::lock_guard guard(state_->lock);
        wasSet = std::exchange(state_->set, true);
    }
    if (!wasSet)
        state_->changed.notify_one();
}

void WakeEvent::Wait() {
    std::unique_lock guard(state_->lock);
    state_->changed.wait(guard, [this] { return state_->set; });
    state_->set = false;
}

void WakeEvent::WaitFor(unsigned ms) {
    std::unique_lock guard(state_->lock);
    state_->changed.wait_for(guard, std::chrono::milliseconds(ms), [this] { return state_->set; });
    state_->set = false;
}

struct SlimLock::State {
    std::mutex lock;
};

void SlimLock::lock() {
    state_->lock.lock();
}

void SlimLock::unlock() {
    state_->lock.unlock();
}

#endif

SlimLock::SlimLock() : state_(std::make_unique<State>()) {}

SlimLock::~SlimLock() = default;

WakeEvent::WakeEvent() : state_(std::make_unique<State>()) {}

WakeEvent::~WakeEvent() = default;

} // namespace tarnvel
