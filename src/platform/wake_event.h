// An auto-reset event inside the process, which one thread waits for with no timeout and any
// thread sets, and a lock of the same make. Both are cheap enough for the log's posting path: on
// Windows they are a slim lock and a condition variable, which wake a thread without a kernel
// object (under Wine, without a trip to the server); elsewhere the standard library's mutex and
// condition variable.
#pragma once

#include <memory>

namespace tarnvel {

class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();

    // Any thread. Setting it while it is set changes nothing.
    void Set();
    // Returns once it is set, and resets it.
    void Wait();
    // As Wait, but returns after `ms` milliseconds at the latest.
    void WaitFor(unsigned ms);

private:
    struct State;
    const std::unique_ptr<State> state_;
};

// A plain (not re-entrant) lock for std::lock_guard and std::unique_lock, of the same kind as
// WakeEvent's: a thread that meets it taken waits without a kernel object.
class SlimLock {
public:
    SlimLock();
    ~SlimLock();

    void lock();
    void unlock();

private:
    struct State;
    const std::unique_ptr<State> state_;
};

} // namespace tarnvel
