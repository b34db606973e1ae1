// An auto-reset event inside the process: one thread waits for it with no timeout, any thread
// sets it. Setting it is cheap enough for the log's posting path: on Windows it is a slim lock
// and a condition variable, which wake a thread without a kernel object (under Wine, without a
// trip to the server); elsewhere it is the standard library's mutex and condition variable.
#pragma once

#include <memory>

namespace tarnvel {

class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();

    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Any thread. Setting it while it is set changes nothing.
    void Set();
    // Returns once it is set, and resets it.
    void Wait();

private:
    struct State;
    const std::unique_ptr<State> state_;
};

} // namespace tarnvel
