// The engine host as the program sees it: a child process that holds the engine library, in a job
// that ends it with the program however the program ends, and an anonymous pipe each way. Nothing
// is named, so no other process can open or take the place of any of it; the pipes' far ends are
// inherited by the host alone.
#pragma once

#include "download/host_connection.h"
#include "download/host_protocol.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnvel {

class EngineHostProcess final : public HostConnection {
    class Key {
        friend class EngineHostProcess;
        Key() = default;
    };

public:
    explicit EngineHostProcess(Key) {}
    // Starts the host at `path`; null with the system's error code in `error` when it cannot.
    static std::unique_ptr<EngineHostProcess> Start(const std::wstring& path, DWORD& error);
    ~EngineHostProcess() override;

    bool Send(const std::vector<std::uint8_t>& bytes) override;
    std::size_t Receive(std::uint8_t* buffer, std::size_t capacity) override;
    void CloseRequests() override { requests_.Reset(); }
    void Terminate(std::uint32_t exitCode = kEndedByTheProgram) override;
    bool WaitForExit(std::uint32_t ms) override;
    std::optional<std::uint32_t> ExitCode() override;

private:
    UniqueHandle job_;
    UniqueHandle process_;
    UniqueHandle requests_; // our end: we write
    UniqueHandle reports_;  // our end: we read
};

} // namespace tarnvel
