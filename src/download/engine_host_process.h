// The engine host as the program sees it: a child process that holds the engine library, in a job
// that ends it with the program however the program ends, and an anonymous pipe each way. Nothing
// is named, so no other process can open or take the place of any of it; the pipes' far ends are
// inherited by the host alone.
#pragma once

#include "download/host_protocol.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnvel {

class EngineHostProcess {
    class Key {
        friend class EngineHostProcess;
        Key() = default;
    };

public:
    // The host's exit code when the program ends it.
    static constexpr UINT kEndedByTheProgram = 1;

    explicit EngineHostProcess(Key) {}
    // Starts the host at `path`; null with the system's error code in `error` when it cannot.
    static std::unique_ptr<EngineHostProcess> Start(const std::wstring& path, DWORD& error);
    ~EngineHostProcess();

    // Any one thread at a time. False once the host is gone.
    bool Send(const std::vector<std::uint8_t>& bytes);
    // Blocks until bytes arrive (at most `capacity`); 0 once the host's end is closed, which is
    // how its ending shows.
    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity);

    // Tells the host that no more requests come: it ends once it has read what was sent.
    void CloseRequests() { requests_.Reset(); }
    // Ends the host whole, with everything the engine holds; a Receive under way returns 0 once
    // it has ended.
    void Terminate(UINT exitCode = kEndedByTheProgram);
    bool WaitForExit(DWORD ms) const;
    // Empty while the host runs.
    std::optional<DWORD> ExitCode() const;

private:
    UniqueHandle job_;
    UniqueHandle process_;
    UniqueHandle requests_; // our end: we write
    UniqueHandle reports_;  // our end: we read
};

} // namespace tarnvel
