// One engine host as the program's session drives it: a byte stream each way and the process that
// holds the engine. The program's is a child process with anonymous pipes (engine_host_process.h);
// tests put a host of their own behind the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarnvel {

class HostConnection {
public:
    // The host's exit code when the program ends it.
    static constexpr std::uint32_t kEndedByTheProgram = 1;
    static constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;

    virtual ~HostConnection() = default;

    // Any one thread at a time. False once the host is gone.
    virtual bool Send(const std::vector<std::uint8_t>& bytes) = 0;
    // Blocks until bytes arrive (at most `capacity`); 0 once the host's end is closed, which is
    // how its ending shows.
    virtual std::size_t Receive(std::uint8_t* buffer, std::size_t capacity) = 0;
    // Tells the host that no more requests come: it ends once it has read what was sent.
    virtual void CloseRequests() = 0;
    // Ends the host whole, with everything the engine holds; a Receive under way returns 0 once
    // it has ended.
    virtual void Terminate(std::uint32_t exitCode = kEndedByTheProgram) = 0;
    virtual bool WaitForExit(std::uint32_t ms) = 0;
    // Empty while the host runs.
    virtual std::optional<std::uint32_t> ExitCode() = 0;
};

// Starts a host; null, with an error code in `error`, when it cannot.
using HostStarter = std::function<std::unique_ptr<HostConnection>(std::uint32_t& error)>;

} // namespace tarnvel
